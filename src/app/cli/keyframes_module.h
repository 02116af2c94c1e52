#pragma once

// The C interface of libpelvano_keyframes.so.
#include <cstddef>
#include <cstdint>

extern "C" {

struct PelvanoKeyFrameList {
    int32_t* frames = nullptr;  // ascending frame positions of the key frames
    size_t count = 0;
    char* frameRate = nullptr;  // the file's rate text ("25000"), or null
    char* error = nullptr;      // the message when reading failed
};

// 0 and the list filled, or 1 and only `error` set. Whatever is set is
// released with PelvanoFreeKeyFrames.
using PelvanoReadKeyFramesFn = int (*)(const char* path, PelvanoKeyFrameList* list);
using PelvanoFreeKeyFramesFn = void (*)(PelvanoKeyFrameList* list);

int PelvanoReadKeyFrames(const char* path, PelvanoKeyFrameList* list);
void PelvanoFreeKeyFrames(PelvanoKeyFrameList* list);
}
