#pragma once

#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/error.h"
#include "disc/volume.h"

namespace pelvano {

// The playlists of a Blu-ray disc, read once: bytes only, nothing parsed,
// nothing decrypted (playlists are never encrypted; clip information and
// streams are not read).
struct BlurayFiles {
    // Every BDMV/PLAYLIST/nnnnn.mpls by its number: its bytes, or the error,
    // naming the disc, that kept them.
    std::map<int, std::variant<std::string, Error>> playlists;
    // What was read: the image or drive, or the folder's files.
    std::vector<std::string> inputs;
};

// The number of a playlist file's name: nnnnn for nnnnn.mpls (any case), -1
// for any other name.
int PlaylistOfName(const std::string& name);

// Where a volume keeps its playlists: "BDMV/PLAYLIST" (names as listed), or
// "PLAYLIST" when the volume is a BDMV folder (named so, `folderName`, or
// holding index.bdmv); nothing when it holds none.
std::optional<std::string> PlaylistFolder(Volume& volume, const std::string& folderName);

// Every playlist of `dir` (PlaylistFolder's answer), each at most `limit`
// bytes; `path` names the disc in errors.
BlurayFiles ReadBlurayFiles(Volume& volume, const std::string& dir, const std::string& path, size_t limit);

}  // namespace pelvano
