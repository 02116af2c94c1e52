#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "output/video/avi_keyframes.h"

namespace pelvano {

// The user-facing messages of a Matroska or MP4/MOV file that can't be used.
inline constexpr const char* kMediaOpenError = "# Video file : not a readable Matroska or MP4 file !";
inline constexpr const char* kMediaNoVideoError = "# Video file : Can't get a video stream !";
inline constexpr const char* kMediaVariableRateError =
    "# Video file : the frame rate is not constant, frames can't be numbered !";

enum class Container { Avi, Matroska, Mp4 };

// The container "Open video" reads a file as, by its extension (any case):
// .mkv/.webm Matroska, .mp4/.m4v/.mov MP4, anything else AVI as ever.
Container ContainerOf(const std::string& path);

struct MediaKeyFrames {
    std::vector<int32_t> keys;  // display-order frame positions, ascending
    AviRate rate;               // frames per second as rate / scale
};

// The key frames of the first video stream of a Matroska or MP4/MOV file,
// numbered in display order from its first frame, and its frame rate.
// Matroska: from the Cues when a look at the first clusters finds no key
// frame they miss, else from one pass over the packets (no decoding); the
// rate is constant when the frames read there, and stretches of frames
// across the file, lie on its grid. MP4: the sync samples of the sample
// table, placed by their presentation times (ctts), every sample on the grid. Throws Error(kMediaOpenError),
// Error(kMediaNoVideoError), or Error(kMediaVariableRateError) for
// timestamps not evenly spaced.
MediaKeyFrames ReadMediaKeyFrames(const std::string& path, Container container);

}  // namespace pelvano
