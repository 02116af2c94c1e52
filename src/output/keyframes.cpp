#include "output/keyframes.h"

namespace pelvano {

int32_t SnapToKeyFrame(KeyFrameSource& source, int32_t f)
{
    const int32_t p = source.keyFrameAtOrBefore(f);
    const int32_t n = source.keyFrameAtOrAfter(f);
    // A negative answer means no key frame in that direction: the other one
    // wins, and with none at all the frame stays where it is.
    if (p < 0 && n < 0)
        return f;
    if (p < 0)
        return n;
    if (n < 0)
        return p;
    // 64-bit distances: f - p and n - f can exceed the 32-bit range.
    const int64_t before = int64_t{f} - p;
    const int64_t after = int64_t{n} - f;
    return before < after ? p : n;
}

}  // namespace pelvano
