#pragma once

#include <cstdint>

#include "chapters/source.h"
#include "chapters/title_loader.h"
#include "mpls/playlist.h"

namespace pelvano {

// Loads playlist `number` of a Blu-ray source as a title load does a PGC:
// a row per segment between consecutive entry marks (PlaylistSegments),
// every row a chapter start, the last-chapter rule on the last row, times
// in ticks of the 45 kHz clock (exact, converted to ms rounded up), the
// rate of the first play item's video, and the playlist's report. Nothing
// to choose in the Title list (an empty one). `request.newFile`,
// `currentTitle` and `exactNtsc` do not apply.
LoadResult LoadPlaylist(const Source& source, int number, const LoadRequest& request);

// The chapter lines such a load gives with the default marks.
uint32_t DefaultPlaylistChapterCount(const Playlist& playlist);

// The rate a playlist load sets when its video names none of the six.
inline constexpr const char* kUnknownPlaylistRate = "23976";

}  // namespace pelvano
