#pragma once

#include <string>
#include <variant>

#include "disc/bluray_files.h"
#include "disc/dvd_files.h"

namespace pelvano {

// What a folder, image or drive holds, its file system opened once: a
// Blu-ray's playlists when it has a BDMV/PLAYLIST folder (or is a BDMV
// folder), else a DVD's navigation files. Throws Error naming the path when
// it is neither.
std::variant<DvdFiles, BlurayFiles> ReadDiscFiles(const std::string& path, size_t ifoLimit,
                                                  size_t playlistLimit);

}  // namespace pelvano
