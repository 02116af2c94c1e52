#include "output/avi/avi_keyframes.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <sstream>

#include <gtest/gtest.h>

#include "base/error.h"
#include "output/format_engine.h"
#include "test_util.h"

namespace pelvano {
namespace {

using test::FixturePath;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::string Avi(const std::string& name) { return FixturePath("avi/" + name); }

// The key frames ffprobe listed when the fixture was made.
std::vector<int32_t> FfprobeKeyFrames(const std::string& name)
{
    std::istringstream in(ReadFile(Avi(name + ".keyframes.txt")));
    std::vector<int32_t> keys;
    for (int32_t k; in >> k;)
        keys.push_back(k);
    return keys;
}

// The message of the Error that `f` throws, or "" when it returns.
template <typename F>
std::string ErrorOf(F&& f)
{
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "";
}

// A copy of kf25.avi with some bytes changed.
std::string PatchedKf25(const TempDir& dir, const std::function<void(std::string&)>& patch)
{
    std::string bytes = ReadFile(Avi("kf25.avi"));
    patch(bytes);
    WriteFile(dir.file("patched.avi"), bytes);
    return dir.file("patched.avi");
}

// Key frames as ffprobe listed them, rates as the stream headers give them
// (see the fixtures' README). truncated.avi has no index and ends inside
// frame 173: its key frames come from the packets.
TEST(AviKeyFrames, FixturesAgreeWithFfprobe)
{
    const std::tuple<const char*, uint32_t, uint32_t, const char*> cases[] = {
        {"kf25", 25, 1, "25000"},
        {"kf2997", 30000, 1001, "29971"},  // 29970.03 rounded up
        {"kf23976", 24000, 1001, "23977"},
        {"truncated", 25, 1, "25000"},
    };
    for (const auto& [name, rate, scale, text] : cases) {
        SCOPED_TRACE(name);
        const std::string path = Avi(std::string(name) + ".avi");
        EXPECT_EQ(AviKeyFrames::Open(path)->keyFrames(), FfprobeKeyFrames(name));
        const std::optional<AviRate> read = AviKeyFrames::ReadRate(path);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->rate, rate);
        EXPECT_EQ(read->scale, scale);
        EXPECT_EQ(AviKeyFrames::ReadFrameRateText(path), text);
    }
    // A whole file without idx1 gives the same positions from its packets.
    TempDir dir;
    const std::string noIndex = PatchedKf25(dir, [](std::string& b) {
        const size_t at = b.rfind("idx1");
        ASSERT_NE(at, std::string::npos);
        b.replace(at, 4, "JUNK");
    });
    EXPECT_EQ(AviKeyFrames::Open(noIndex)->keyFrames(), FfprobeKeyFrames("kf25"));
}

TEST(AviRate, TextIsTheExactCeilingOrNothing)
{
    EXPECT_EQ(FrameRateText({1000000, 40000}), "25000");
    EXPECT_EQ(FrameRateText({50, 2}), "25000");  // exact: not rounded up
    // rate * 1000 overflows 32 bits but not the 64-bit arithmetic.
    EXPECT_EQ(FrameRateText({4294967295u, 4294967295u}), "1000");
    EXPECT_EQ(FrameRateText({2147483647u, 1000}), "2147483647");
    EXPECT_EQ(FrameRateText({2147483648u, 1000}), std::nullopt);  // no rate field holds it
    EXPECT_EQ(FrameRateText({25, 0}), std::nullopt);
    EXPECT_EQ(FrameRateText({0, 1}), std::nullopt);
}

// A stream header with dwScale 0 must not divide by zero: the main header's
// frame period (40000 us) stands in for it.
TEST(AviRate, ZeroScaleInTheStreamHeader)
{
    TempDir dir;
    const std::string path = PatchedKf25(dir, [](std::string& b) {
        const size_t strh = b.find("strh");
        ASSERT_NE(strh, std::string::npos);
        b.replace(strh + 8 + 20, 4, std::string(4, '\0'));  // dwScale
    });
    EXPECT_EQ(AviKeyFrames::ReadFrameRateText(path), "25000");
    EXPECT_EQ(AviKeyFrames::Open(path)->keyFrames(), FfprobeKeyFrames("kf25"));
}

TEST(AviErrors, FileWithoutVideoStream)
{
    const std::string path = Avi("audio_only.avi");
    EXPECT_EQ(ErrorOf([&] { AviKeyFrames::Open(path); }), "# AVIFileGetStream : Can't get a video stream !");
    // "Open AVI" accepts it: it opens, there is just no rate to take.
    EXPECT_EQ(AviKeyFrames::ReadRate(path), std::nullopt);
}

TEST(AviErrors, FilesThatAreNotAviFiles)
{
    TempDir dir;
    WriteFile(dir.file("notes.avi"), "RIFF? No, just some words.\r\n");
    WriteFile(dir.file("riff.avi"), std::string("RIFF\x04\0\0\0AVI ", 12));
    ASSERT_EQ(mkfifo(dir.file("fifo.avi").c_str(), 0600), 0);
    for (const std::string& path : {dir.file("notes.avi"), dir.file("riff.avi"), dir.file("fifo.avi"),
                                    dir.file("missing.avi"), dir.path().string(),
                                    std::string("http://127.0.0.1:9/x.avi"),  // a name, never an address
                                    FixturePath("dvd/ntsc/VTS_01_0.IFO")}) {
        SCOPED_TRACE(path);
        // Run aside so that a hang fails the test instead of stalling it.
        auto open = std::async(std::launch::async, [&] {
            return std::make_pair(ErrorOf([&] { AviKeyFrames::Open(path); }),
                                  ErrorOf([&] { AviKeyFrames::ReadRate(path); }));
        });
        ASSERT_EQ(open.wait_for(std::chrono::seconds(20)), std::future_status::ready);
        const auto [openError, rateError] = open.get();
        EXPECT_EQ(openError, "# AVIFileOpen : AVI source init error !");
        EXPECT_EQ(rateError, "# AVIFileOpen : AVI source init error !");
    }
}

// Cut short anywhere or with damaged bytes, a file gives an error or key
// frames, never a crash, a hang or a made-up position.
TEST(AviErrors, DamagedFiles)
{
    const std::string original = ReadFile(Avi("kf2997.avi"));
    const std::vector<int32_t> all = FfprobeKeyFrames("kf2997");
    TempDir dir;
    const std::string path = dir.file("damaged.avi");
    uint32_t seed = 12345;
    for (int round = 0; round < 420; ++round) {
        // First cut short every 97 bytes, then scribbled over: headers,
        // index entries, chunk sizes.
        const bool cut = round * 97 < static_cast<int>(original.size());
        std::string bytes = cut ? original.substr(0, round * 97) : original;
        for (int i = 0; !cut && i < 8; ++i) {
            seed = seed * 1103515245u + 12345u;
            bytes[round % 2 ? seed % 2048 : seed % bytes.size()] = static_cast<char>(seed >> 24);
        }
        SCOPED_TRACE(round);
        WriteFile(path, bytes);
        std::unique_ptr<AviKeyFrames> source;
        const std::string error = ErrorOf([&] { source = AviKeyFrames::Open(path); });
        ErrorOf([&] { AviKeyFrames::ReadFrameRateText(path); });
        if (!source) {
            EXPECT_TRUE(error == kAviOpenError || error == kAviNoVideoError) << error;
            continue;
        }
        const auto& keys = source->keyFrames();
        EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
        EXPECT_TRUE(keys.empty() || keys.front() >= 0);
        // Damage may flip key flags; a file cut short only loses key frames.
        for (int32_t k : keys)
            EXPECT_TRUE(!cut || std::binary_search(all.begin(), all.end(), k)) << k;
    }
}

TEST(AviSnapping, RenderingSnapsToTheFilesKeyFrames)
{
    // kf25.avi: key frames 0, 250, 275, 290. At 25 fps a chapter at t ms is
    // on frame ceil(t / 40): 0, 124, 125, 126, 250, 283, 300.
    const std::vector<uint32_t> starts = {0, 4960, 5000, 5040, 10000, 11320, 12000};
    TitleModel model;
    model.cellStartsMs = starts;
    model.cellStartsMs.push_back(13000);
    for (uint32_t cell = 1; cell <= starts.size(); ++cell)
        model.chapterStarts.push_back(cell);
    model.chapterCount = static_cast<uint32_t>(starts.size());
    const RenderOutput out = RenderChapters(model, {"%f %ss:%cc", "", "25000", "0", "0"},
                                            [] { return AviKeyFrames::Open(Avi("kf25.avi")); });
    EXPECT_EQ(out.text,
              "0 00:00\r\n"
              "0 04:96\r\n"      // 124: 124 before 126
              "250 05:00\r\n"    // 125: equal distances, the later one
              "250 05:04\r\n"    // 126
              "250 10:00\r\n"    // a key frame stays
              "290 11:32\r\n"    // 283: 8 after 275, 7 before 290
              "290 12:00\r\n");  // 300: none after, the last one
}

}  // namespace
}  // namespace pelvano
