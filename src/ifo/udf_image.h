#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace pelvano {

// The UDF file system of a DVD image, searched the way libdvdread 6.1.3
// searches it, so that a file is found exactly where libdvdread finds it
// (or not at all where it finds none), with its quirks: its caches of
// directories and file entries, the first allocation descriptor it keeps,
// its case-blind name comparison, and a file taken as contiguous from its
// first extent.
//
// Every length, offset and count is checked against the image before use,
// nothing is allocated beyond what the image holds, and every walk is
// bounded. Where libdvdread's own reading is not well defined (it would read
// outside its buffers or seek to a negative offset) or where the image needs
// more work than a DVD's file system ever does, this reader gives up with
// Unsupported: the caller then lets libdvdread read the image, contained.
// Where libdvdread would not finish, it says so (Endless).
class UdfImage {
public:
    class Unsupported : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };
    // libdvdread would read the image block by block for hours (a walk
    // bounded only billions of blocks past the image's end).
    class Endless : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    // Opens the image read only and never blocking; nullptr when it cannot
    // be opened or is no regular file.
    static std::unique_ptr<UdfImage> Open(const std::string& path);
    ~UdfImage();
    UdfImage(const UdfImage&) = delete;
    UdfImage& operator=(const UdfImage&) = delete;

    struct File {
        uint32_t block = 0;   // the first block in the image
        uint32_t length = 0;  // bytes, as libdvdread takes them
        // The size libdvdread gives the file: whole blocks.
        ssize_t blocks() const { return static_cast<ssize_t>(length / 2048); }
    };

    // The file at `path` (e.g. "/VIDEO_TS/VTS_01_0.IFO"), or nothing where
    // libdvdread finds none. Lookups share libdvdread's caches, so one image
    // answers as one libdvdread handle asked in the same order.
    std::optional<File> find(const std::string& path);

    // The first `size` bytes of `file`, as libdvdread's DVDReadBytes gives
    // them after opening it; nothing where that read fails.
    std::optional<std::string> read(const File& file, size_t size);

    struct Ad {
        uint32_t location = 0;
        uint32_t length = 0;
        uint16_t partition = 0;
    };

private:
    struct Mapped {
        uint8_t fileType = 0;
        Ad file;
    };
    struct Partition {
        uint32_t start = 0;
        uint32_t length = 0;
    };

    UdfImage(int fd, uint64_t size);

    bool readBlocks(uint32_t block, uint32_t count, unsigned char* out);
    void spend(uint64_t blocks);
    template <typename Visit>
    void walk(uint32_t first, uint32_t last, Visit visit);
    void findAnchor();
    std::optional<Partition> findPartition();
    std::optional<Mapped> mapIcb(const Ad& icb);
    std::optional<Ad> scanDirectory(const Ad& dir, const std::string& name, bool mapEach);

    int fd_ = -1;
    uint64_t blocks_ = 0;
    uint64_t budget_;
    // libdvdread's caches, which decide some answers.
    std::optional<std::pair<uint32_t, uint32_t>> mainSequence_;  // location, length
    std::optional<Partition> partition_;
    std::optional<Ad> rootIcb_;
    std::map<uint32_t, Mapped> icbs_;
    std::map<uint32_t, std::optional<std::string>> directories_;
};

}  // namespace pelvano
