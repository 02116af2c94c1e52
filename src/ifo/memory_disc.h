#pragma once

#include <map>
#include <string>

namespace pelvano {

// A minimal UDF image in memory (a memfd) holding title-set IFO bytes as
// VIDEO_TS/VTS_nn_0.IFO and nothing else, for libdvdread to parse bytes we
// have already checked. libdvdread takes a path only; the image is reached
// as /proc/self/fd/N. Reading a memory image costs a few syscalls per title
// set where a folder on disk costs a lseek and a read per table and a file
// to write and remove.
class MemoryDisc {
public:
    // `files`: title-set number (1..99) -> bytes, each a whole number of
    // 2048-byte blocks (as a folder would give libdvdread the same sizes).
    explicit MemoryDisc(const std::map<int, const std::string*>& files);
    ~MemoryDisc();
    MemoryDisc(const MemoryDisc&) = delete;
    MemoryDisc& operator=(const MemoryDisc&) = delete;

    // False when the image could not be made (no memfd, a size that is not
    // whole blocks): the caller then goes the slower way.
    bool ok() const { return fd_ >= 0; }
    // The path to hand to DVDOpen2.
    const std::string& path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};

}  // namespace pelvano
