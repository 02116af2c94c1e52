#pragma once

#include <sys/stat.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace pelvano {

// stat() of a source, refusing with Error what can never be a DVD and would
// block whoever opened it: a FIFO, a socket, a character device.
struct stat StatSource(const std::string& path);

// The navigation files of a whole disc, read through libdvdread's DVDOpen:
// a VIDEO_TS folder (or the folder holding one), an image file or a block
// device. Opening reads what is asked for and keeps no handle.
//
// libdvdread parses an image's UDF file system before any IFO is read, and
// a hostile one makes it read freed or foreign memory. So an image file is
// searched by our own bounds-checked UDF reader (UdfImage), which finds what
// libdvdread finds; an image it does not follow, and a drive, are read by
// libdvdread in a child process that hands the bytes back: a fault or a hang
// there becomes an error here, and the bytes are checked before anything
// parses them.
class DiscReader {
public:
    // Checks the path with stat first and never opens a FIFO, socket or
    // character device. Reads VIDEO_TS.IFO and then title set `only`, or
    // with 0 every title set it names (or, when it is unreadable, those
    // found by probing VTS_01.. up to the first missing one). Throws Error
    // naming the path and the reason.
    static std::unique_ptr<DiscReader> Open(const std::string& path, int only = 0);

    // The title sets read, ascending (including missing ones that VIDEO_TS.IFO names).
    std::vector<int> titleSetNumbers() const;
    // Whether VTS_nn_0.IFO is there.
    bool hasTitleSet(int titleSet) const;
    // The bytes of VTS_nn_0.IFO (at most kMaxIfoSize + 1 of them). Throws
    // Error when it is missing or could not be read.
    const std::string& readTitleSet(int titleSet) const;

    const std::string& path() const { return path_; }
    // Keeps the bytes readTitleSet gives alive past this reader.
    std::shared_ptr<const void> bytesOwner() const { return files_; }

    enum class State { Read, Missing, Failed };
    struct TitleSetFile {
        State state = State::Missing;
        std::string bytes;   // State::Read
        std::string reason;  // State::Failed: what went wrong, without the path
    };

private:
    DiscReader() = default;

    std::string path_;
    // Shared with the last image kept (read only).
    std::shared_ptr<const std::map<int, TitleSetFile>> files_;
};

}  // namespace pelvano
