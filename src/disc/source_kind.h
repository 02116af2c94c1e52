#pragma once

#include <sys/stat.h>

#include <string>

namespace pelvano {

// What the user pointed at.
enum class SourceKind {
    IfoFile,       // an IFO or BUP file (by name or by its first bytes): loaded exactly as before
    PlaylistFile,  // a Blu-ray playlist file (.mpls, by name or by its first bytes)
    Folder,        // a VIDEO_TS or BDMV folder or the folder that holds one
    Image,         // an ISO/UDF image file
    Device,        // a DVD or Blu-ray drive's block device
};

// stat() of a source, refusing with Error what can never be a disc and would
// block whoever opened it: a FIFO, a socket, a character device.
struct stat StatSource(const std::string& path);

// What kind of source `path` names, from stat and, for a regular file, its
// name or first bytes; throws Error for what can be no source (missing, FIFO,
// socket, character device).
SourceKind KindOf(const std::string& path);

}  // namespace pelvano
