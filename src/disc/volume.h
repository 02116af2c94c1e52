#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace pelvano {

// A disc's file system as far as navigation files go: folders listed, small
// files read from their start. A folder on disk, or an image file or a drive
// read through UDF.
class Volume {
public:
    struct Entry {
        std::string name;
        bool folder = false;
    };

    virtual ~Volume() = default;

    // The entries of folder `dir` below the root ("" the root itself,
    // "VIDEO_TS", names as listed joined by '/'); empty when there is no such
    // folder or it cannot be read.
    virtual std::vector<Entry> list(const std::string& dir) = 0;
    // File `file` (a path below the root, names as listed) from its start, at
    // most `limit` bytes of it. Throws Error whose message names the file
    // within the disc, not the disc ("VTS_01_0.IFO cannot be read").
    virtual std::string read(const std::string& file, size_t limit) = 0;

    // What the volume has read from: the image or drive, or the files of a
    // folder read so far.
    const std::vector<std::string>& inputs() const { return inputs_; }

protected:
    std::vector<std::string> inputs_;
};

// A folder on disk as the root of a volume.
std::unique_ptr<Volume> OpenFolderVolume(const std::string& folder);

// An image file or a drive holding a UDF file system (as every DVD and
// Blu-ray disc does). Throws Error(path, reason) when it holds none.
std::unique_ptr<Volume> OpenUdfVolume(const std::string& path);

}  // namespace pelvano
