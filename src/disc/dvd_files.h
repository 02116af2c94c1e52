#pragma once

#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/error.h"
#include "disc/volume.h"

namespace pelvano {

// The navigation files of a DVD-Video disc, read once: bytes only, nothing
// parsed. Each is read from its start, at most the caller's limit of it, in
// whole 2048-byte blocks (a part block at the end is no part of a disc's file).
struct DvdFiles {
    // VIDEO_TS.IFO (or, when that is missing or unreadable, VIDEO_TS.BUP).
    std::optional<std::string> videoManager;
    // Every title set whose VTS_nn_0.IFO (or, without one, VTS_nn_0.BUP) the
    // disc holds: its bytes, or the error, naming the disc, that kept them.
    std::map<int, std::variant<std::string, Error>> titleSets;
    // What was read: the image or drive, or the folder's files.
    std::vector<std::string> inputs;
};

// Reads a VIDEO_TS folder (or the folder that holds one), an image file or a
// drive. Throws Error naming the path when it is none of these.
DvdFiles ReadDvdFiles(const std::string& path, size_t limit);
// The same of a volume already open; `folder`: a folder source (its own
// folder and its VIDEO_TS are looked in).
DvdFiles ReadDvdFiles(Volume& volume, const std::string& path, bool folder, size_t limit);

}  // namespace pelvano
