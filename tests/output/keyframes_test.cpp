#include "output/keyframes.h"

#include <gtest/gtest.h>

#include "fake_keyframes.h"

namespace pelvano {
namespace {

TEST(SnapToKeyFrame, NearerKeyFrameWinsTiesGoLater)
{
    struct Case {
        std::vector<int32_t> keys;
        int32_t frame, snapped;
    } const cases[] = {
        {{0, 250}, 124, 0},
        {{0, 250}, 125, 250},  // equal distance
        {{0, 250}, 250, 250},
        {{0, 250}, 0, 0},
        {{100, 250}, 40, 100},   // nothing at or before
        {{100, 250}, 900, 250},  // nothing at or after
        {{}, 77, 77},
        // Near the 32-bit limit: 1073741823 before against 1073741824 after.
        {{0, INT32_MAX}, 1073741823, 0},
        {{0, INT32_MAX}, 1073741824, INT32_MAX},
    };
    for (const Case& c : cases) {
        test::FakeKeyFrames source(c.keys);
        EXPECT_EQ(SnapToKeyFrame(source, c.frame), c.snapped) << c.frame;
    }
}

}  // namespace
}  // namespace pelvano
