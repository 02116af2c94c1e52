#include "output/keyframes.h"

#include <gtest/gtest.h>

#include "fake_keyframes.h"

namespace pelvano {
namespace {

using test::FakeKeyFrames;

TEST(SnapToKeyFrame, NearerKeyFrameWinsAndTiesGoLater)
{
    FakeKeyFrames source({0, 250});
    EXPECT_EQ(SnapToKeyFrame(source, 124), 0);
    EXPECT_EQ(SnapToKeyFrame(source, 125), 250);  // equal distance
    EXPECT_EQ(SnapToKeyFrame(source, 126), 250);
    EXPECT_EQ(SnapToKeyFrame(source, 250), 250);
    EXPECT_EQ(SnapToKeyFrame(source, 0), 0);
    EXPECT_EQ(SnapToKeyFrame(source, 1), 0);
    EXPECT_EQ(SnapToKeyFrame(source, 249), 250);
}

TEST(SnapToKeyFrame, MissingSideFallsBackToTheOther)
{
    FakeKeyFrames source({100, 250});
    EXPECT_EQ(SnapToKeyFrame(source, 40), 100);   // nothing at or before
    EXPECT_EQ(SnapToKeyFrame(source, 900), 250);  // nothing at or after
    FakeKeyFrames none({});
    EXPECT_EQ(SnapToKeyFrame(none, 0), 0);
    EXPECT_EQ(SnapToKeyFrame(none, 77), 77);
}

TEST(SnapToKeyFrame, DistancesNearThe32BitLimit)
{
    FakeKeyFrames source({0, INT32_MAX});
    EXPECT_EQ(SnapToKeyFrame(source, 1073741823), 0);  // 1073741823 vs 1073741824
    EXPECT_EQ(SnapToKeyFrame(source, 1073741824), INT32_MAX);  // 1073741824 vs 1073741823
    EXPECT_EQ(SnapToKeyFrame(source, INT32_MAX), INT32_MAX);
}

}  // namespace
}  // namespace pelvano
