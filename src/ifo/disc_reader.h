#pragma once

#include <memory>
#include <optional>
#include <string>

struct dvd_reader_s;

namespace pelvano {

// A whole disc opened through libdvdread's DVDOpen: a VIDEO_TS folder (or
// the folder holding one), an image file or a block device. Reads only the
// navigation files; holds the library handle for one listing or one load.
class DiscReader {
public:
    // Checks the path with stat first and never opens a FIFO, socket or
    // character device. Throws Error naming the path and the reason.
    static std::unique_ptr<DiscReader> Open(const std::string& path);
    ~DiscReader();
    DiscReader(const DiscReader&) = delete;
    DiscReader& operator=(const DiscReader&) = delete;

    // Number of title sets that VIDEO_TS.IFO names, or nothing when it cannot be read.
    std::optional<int> titleSetCount() const;
    // Whether VTS_nn_0.IFO is there (without reading it).
    bool hasTitleSet(int titleSet) const;
    // The bytes of VTS_nn_0.IFO (at most kMaxIfoSize + 1 of them). Throws
    // Error when it is missing or cannot be read.
    std::string readTitleSet(int titleSet) const;

    const std::string& path() const { return path_; }

private:
    DiscReader() = default;
    // Refuses (throws) a file in a folder source that libdvdread would open
    // and that is no regular file: opening a FIFO would block.
    void checkFolderFile(const std::string& name) const;

    std::string path_;
    bool folder_ = false;
    dvd_reader_s* dvd_ = nullptr;
};

}  // namespace pelvano
