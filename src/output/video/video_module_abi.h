#pragma once

// The plain C interface between the video module (libpelvano_video.so,
// which links libavformat) and its loader in the core: no C++ types and no
// exceptions cross it, so either side may carry its own runtime.

#include <stddef.h>
#include <stdint.h>

extern "C" {

// Raised whenever the layout below changes; a module of another version is
// not used.
#define PELVANO_VIDEO_ABI 1

// What PelvanoVideoRead reads.
enum PelvanoVideoWhat {
    // The rate "Open video" takes into the frame-rate field. An AVI file is
    // only opened (a file without video stream has no rate and no error); a
    // Matroska or MP4 file is read whole, key frames included.
    PELVANO_VIDEO_RATE = 0,
    // The key frames, for a rendering.
    PELVANO_VIDEO_KEY_FRAMES = 1,
};

struct PelvanoVideoAnswer {
    int32_t* keys;      // frame positions, ascending; malloc'd by the module
    size_t keyCount;    //
    int hasKeys;        // keys were read (always for PELVANO_VIDEO_KEY_FRAMES)
    char rateText[16];  // "" for no rate
    char error[256];    // "" on success, else the message for the user
};

typedef int (*PelvanoVideoAbiFn)(void);
typedef void (*PelvanoVideoReadFn)(const char* path, int what, struct PelvanoVideoAnswer* answer);
typedef void (*PelvanoVideoFreeFn)(struct PelvanoVideoAnswer* answer);

}  // extern "C"
