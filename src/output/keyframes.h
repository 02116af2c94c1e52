#pragma once

#include <cstdint>
#include <string>

namespace pelvano {

// Key frames of a video stream, by frame position (0-based sample numbers).
class KeyFrameSource {
public:
    virtual ~KeyFrameSource() = default;
    // Key frame at or before f, or -1 when there is none.
    virtual int32_t keyFrameAtOrBefore(int32_t f) = 0;
    // Key frame at or after f, or -1 when there is none.
    virtual int32_t keyFrameAtOrAfter(int32_t f) = 0;
};

// The nearer of the two key frames around f (ties go to the later one).
int32_t SnapToKeyFrame(KeyFrameSource& source, int32_t f);

}  // namespace pelvano
