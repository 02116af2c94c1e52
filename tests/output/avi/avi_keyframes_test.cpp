#include "output/avi/avi_keyframes.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <sstream>

#include <gtest/gtest.h>

#include "base/error.h"
#include "output/format_engine.h"
#include "test_util.h"

namespace pelvano {
namespace {

namespace fs = std::filesystem;
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

// How many of this process's descriptors refer to `path`.
int OpenDescriptors(const std::string& path)
{
    const fs::path target = fs::weakly_canonical(path);
    int count = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd", ec)) {
        std::error_code linkEc;
        if (fs::read_symlink(entry.path(), linkEc) == target)
            ++count;
    }
    return count;
}

// A copy of a fixture with some bytes changed, in `dir`.
std::string PatchedCopy(const TempDir& dir, const std::string& fixture, const std::string& name,
                        const std::function<void(std::string&)>& patch)
{
    std::string bytes = ReadFile(Avi(fixture));
    patch(bytes);
    const std::string path = dir.file(name);
    WriteFile(path, bytes);
    return path;
}

void PutLe32(std::string& bytes, size_t at, uint32_t value)
{
    ASSERT_LE(at + 4, bytes.size());
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// ---------------------------------------------------------------------------

TEST(AviKeyFrames, PositionsMatchFfprobe)
{
    for (const char* name : {"kf25", "kf2997", "kf23976", "truncated"}) {
        SCOPED_TRACE(name);
        const std::vector<int32_t> expected = FfprobeKeyFrames(name);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(AviKeyFrames::Open(Avi(std::string(name) + ".avi"))->keyFrames(), expected);
    }
}

// Without idx1 the packets' key flags are read instead; the positions must
// not change.
TEST(AviKeyFrames, FileWithoutIndexGivesTheSamePositions)
{
    TempDir dir;
    const std::string path = PatchedCopy(dir, "kf25.avi", "noindex.avi", [](std::string& b) {
        const size_t at = b.rfind("idx1");
        ASSERT_NE(at, std::string::npos);
        b.replace(at, 4, "JUNK");
    });
    EXPECT_EQ(AviKeyFrames::Open(path)->keyFrames(), FfprobeKeyFrames("kf25"));
}

TEST(AviKeyFrames, SearchesInBothDirections)
{
    auto source = AviKeyFrames::Open(Avi("kf25.avi"));  // 0 250 275 290
    EXPECT_EQ(source->keyFrameAtOrBefore(0), 0);
    EXPECT_EQ(source->keyFrameAtOrBefore(249), 0);
    EXPECT_EQ(source->keyFrameAtOrBefore(250), 250);
    EXPECT_EQ(source->keyFrameAtOrBefore(289), 275);
    EXPECT_EQ(source->keyFrameAtOrBefore(INT32_MAX), 290);
    EXPECT_EQ(source->keyFrameAtOrBefore(-1), -1);
    EXPECT_EQ(source->keyFrameAtOrAfter(-1), 0);
    EXPECT_EQ(source->keyFrameAtOrAfter(1), 250);
    EXPECT_EQ(source->keyFrameAtOrAfter(275), 275);
    EXPECT_EQ(source->keyFrameAtOrAfter(276), 290);
    EXPECT_EQ(source->keyFrameAtOrAfter(291), -1);

    AviKeyFrames none({});
    EXPECT_EQ(none.keyFrameAtOrBefore(10), -1);
    EXPECT_EQ(none.keyFrameAtOrAfter(10), -1);
}

// ---------------------------------------------------------------------------

TEST(AviRate, StreamRatesAndTheirTexts)
{
    struct Case {
        const char* file;
        uint32_t rate, scale;
        const char* text;
    } cases[] = {
        {"kf25.avi", 25, 1, "25000"},
        {"kf2997.avi", 30000, 1001, "29971"},
        {"kf23976.avi", 24000, 1001, "23977"},
        {"truncated.avi", 25, 1, "25000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::optional<AviRate> rate = AviKeyFrames::ReadRate(Avi(c.file));
        ASSERT_TRUE(rate);
        EXPECT_EQ(rate->rate, c.rate);
        EXPECT_EQ(rate->scale, c.scale);
        EXPECT_EQ(AviKeyFrames::ReadFrameRateText(Avi(c.file)), c.text);
    }
}

TEST(AviRate, TextIsTheExactCeiling)
{
    EXPECT_EQ(FrameRateText({25, 1}), "25000");
    EXPECT_EQ(FrameRateText({1000000, 40000}), "25000");
    EXPECT_EQ(FrameRateText({30000, 1001}), "29971");  // 29970.03
    EXPECT_EQ(FrameRateText({24000, 1001}), "23977");  // 23976.02
    EXPECT_EQ(FrameRateText({50, 2}), "25000");        // exact: not rounded up
    EXPECT_EQ(FrameRateText({1, 3}), "334");           // 333.33
    // rate * 1000 overflows 32 bits but not the 64-bit arithmetic.
    EXPECT_EQ(FrameRateText({4294967295u, 4294967295u}), "1000");
    EXPECT_EQ(FrameRateText({2147483647u, 1000}), "2147483647");
}

TEST(AviRate, UnusableRatesGiveNoText)
{
    EXPECT_EQ(FrameRateText({25, 0}), std::nullopt);
    EXPECT_EQ(FrameRateText({0, 1}), std::nullopt);
    EXPECT_EQ(FrameRateText({0, 0}), std::nullopt);
    // No 32-bit rate field could hold it.
    EXPECT_EQ(FrameRateText({2147483648u, 1000}), std::nullopt);
    EXPECT_EQ(FrameRateText({4294967295u, 1}), std::nullopt);
}

// A stream header with dwScale 0 must not divide by zero: the main header's
// frame period (40000 us, i.e. 1000000/40000) stands in for it.
TEST(AviRate, ZeroScaleInTheStreamHeader)
{
    TempDir dir;
    const std::string path = PatchedCopy(dir, "kf25.avi", "scale0.avi", [](std::string& b) {
        const size_t strh = b.find("strh");
        ASSERT_NE(strh, std::string::npos);
        PutLe32(b, strh + 8 + 20, 0);  // dwScale
    });
    EXPECT_EQ(AviKeyFrames::ReadFrameRateText(path), "25000");
    EXPECT_EQ(AviKeyFrames::Open(path)->keyFrames(), FfprobeKeyFrames("kf25"));
}

// ---------------------------------------------------------------------------

TEST(AviErrors, FileWithoutVideoStream)
{
    const std::string path = Avi("audio_only.avi");
    EXPECT_EQ(ErrorOf([&] { AviKeyFrames::Open(path); }),
              "# AVIFileGetStream : Can't get a video stream !");
    // "Open AVI" accepts it: it opens, there is just no rate to take.
    EXPECT_EQ(AviKeyFrames::ReadRate(path), std::nullopt);
    EXPECT_EQ(AviKeyFrames::ReadFrameRateText(path), std::nullopt);
}

TEST(AviErrors, FilesThatAreNotAviFiles)
{
    TempDir dir;
    const std::string text = dir.file("notes.avi");
    WriteFile(text, "RIFF? No, just some words.\r\n");
    const std::string empty = dir.file("empty.avi");
    WriteFile(empty, "");
    const std::string riffOnly = dir.file("riff.avi");
    WriteFile(riffOnly, std::string("RIFF\x04\0\0\0AVI ", 12));
    const std::string fifo = dir.file("fifo.avi");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    const std::string paths[] = {
        text, empty, riffOnly, fifo,
        dir.file("missing.avi"),
        dir.path().string(),  // a folder
        "",
        "http://127.0.0.1:9/x.avi",  // a file name, never a network address
        FixturePath("dvd/ntsc/VTS_01_0.IFO"),
    };
    for (const std::string& path : paths) {
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

// The file is read in one go: nothing of it stays open, whether the open
// worked or not.
TEST(AviErrors, NoDescriptorOutlivesAnOpen)
{
    for (const char* name : {"kf25.avi", "truncated.avi", "audio_only.avi"}) {
        SCOPED_TRACE(name);
        const std::string path = Avi(name);
        std::unique_ptr<AviKeyFrames> source;
        try {
            source = AviKeyFrames::Open(path);
        } catch (const Error&) {
        }
        EXPECT_EQ(OpenDescriptors(path), 0);
        AviKeyFrames::ReadFrameRateText(path);
        EXPECT_EQ(OpenDescriptors(path), 0);
    }
}

// Cut short anywhere or with damaged bytes, a file gives an error or a
// subset of its key frames, never a crash, a hang or a made-up position.
TEST(AviErrors, DamagedFiles)
{
    const std::string original = ReadFile(Avi("kf2997.avi"));
    const std::vector<int32_t> all = FfprobeKeyFrames("kf2997");
    TempDir dir;
    const std::string path = dir.file("damaged.avi");

    auto check = [&](const std::string& what) {
        SCOPED_TRACE(what);
        std::unique_ptr<AviKeyFrames> source;
        const std::string error = ErrorOf([&] { source = AviKeyFrames::Open(path); });
        if (!source) {
            EXPECT_TRUE(error == kAviOpenError || error == kAviNoVideoError) << error;
            return;
        }
        for (int32_t k : source->keyFrames())
            EXPECT_TRUE(std::binary_search(all.begin(), all.end(), k)) << k;
    };

    for (size_t size = 0; size < original.size(); size += 97) {
        WriteFile(path, original.substr(0, size));
        check("cut at " + std::to_string(size));
    }

    // Scribbled over: headers, index entries, chunk sizes.
    uint32_t seed = 12345;
    for (int round = 0; round < 150; ++round) {
        std::string bytes = original;
        for (int i = 0; i < 8; ++i) {
            seed = seed * 1103515245u + 12345u;
            const size_t at = round < 75 ? seed % 2048 : seed % bytes.size();
            bytes[at] = static_cast<char>(seed >> 24);
        }
        WriteFile(path, bytes);
        std::unique_ptr<AviKeyFrames> source;
        const std::string error = ErrorOf([&] { source = AviKeyFrames::Open(path); });
        // Damage may flip key flags, so only the shape of the answer holds.
        if (source) {
            const auto& keys = source->keyFrames();
            EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
            EXPECT_TRUE(keys.empty() || keys.front() >= 0);
        } else {
            EXPECT_TRUE(error == kAviOpenError || error == kAviNoVideoError) << error;
        }
        ErrorOf([&] { AviKeyFrames::ReadFrameRateText(path); });
    }
}

// ---------------------------------------------------------------------------

// Counts the sources alive, to see that every rendering closes its source.
class CountedSource : public KeyFrameSource {
public:
    CountedSource(std::unique_ptr<KeyFrameSource> inner, int& alive) : inner_(std::move(inner)), alive_(alive)
    {
        ++alive_;
    }
    ~CountedSource() override { --alive_; }
    int32_t keyFrameAtOrBefore(int32_t f) override { return inner_->keyFrameAtOrBefore(f); }
    int32_t keyFrameAtOrAfter(int32_t f) override { return inner_->keyFrameAtOrAfter(f); }

private:
    std::unique_ptr<KeyFrameSource> inner_;
    int& alive_;
};

KeyFrameOpener CountedOpener(const std::string& path, int& alive, int& opens)
{
    return [path, &alive, &opens]() -> std::unique_ptr<KeyFrameSource> {
        ++opens;
        return std::make_unique<CountedSource>(AviKeyFrames::Open(path), alive);
    };
}

// One chapter per cell; at 25 fps a chapter at t ms is on frame ceil(t / 40).
TitleModel ChaptersAt(const std::vector<uint32_t>& startsMs)
{
    TitleModel model;
    model.cellStartsMs = startsMs;
    model.cellStartsMs.push_back(startsMs.back() + 1000);
    for (uint32_t cell = 1; cell <= startsMs.size(); ++cell)
        model.chapterStarts.push_back(cell);
    model.chapterCount = static_cast<uint32_t>(startsMs.size());
    return model;
}

TEST(AviSnapping, RenderingSnapsToTheFilesKeyFrames)
{
    // kf25.avi: key frames 0, 250, 275, 290.
    // Frames 0, 124, 125, 126, 250, 283, 300 and the time of the last.
    const TitleModel model = ChaptersAt({0, 4960, 5000, 5040, 10000, 11320, 12000});
    int alive = 0, opens = 0;
    const RenderOutput out = RenderChapters(model, {"%f %hh:%mm:%ss:%cc", "", "25000", "0", "0"},
                                            CountedOpener(Avi("kf25.avi"), alive, opens));
    EXPECT_EQ(out.text,
              "0 00:00:00:00\r\n"
              "0 00:00:04:96\r\n"      // 124: 124 before 126
              "250 00:00:05:00\r\n"    // 125: equal distances, the later one
              "250 00:00:05:04\r\n"    // 126
              "250 00:00:10:00\r\n"    // a key frame stays
              "290 00:00:11:32\r\n"    // 283: 8 after 275, 7 before 290
              "290 00:00:12:00\r\n");  // 300: none after, the last one
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(alive, 0);
}

TEST(AviSnapping, FrameOffsetComesBeforeSnapping)
{
    const TitleModel model = ChaptersAt({5040, 10000});  // frames 126, 250
    int alive = 0, opens = 0;
    const KeyFrameOpener opener = CountedOpener(Avi("kf25.avi"), alive, opens);
    EXPECT_EQ(RenderChapters(model, {"%f", "", "25000", "-1", "0"}, opener).text, "250\r\n250\r\n");
    EXPECT_EQ(RenderChapters(model, {"%f", "", "25000", "-2", "0"}, opener).text, "0\r\n250\r\n");
    EXPECT_EQ(RenderChapters(model, {"%f", "", "25000", "-130", "0"}, opener).text, "0\r\n0\r\n");
    EXPECT_EQ(alive, 0);
}

TEST(AviSnapping, SourceIsClosedAfterAConversionError)
{
    const TitleModel model = ChaptersAt({0, 5000});
    int alive = 0, opens = 0;
    const KeyFrameOpener opener = CountedOpener(Avi("kf25.avi"), alive, opens);
    EXPECT_EQ(ErrorOf([&] { RenderChapters(model, {"%f", "", "25000", "x", "0"}, opener); }),
              "'x' is not a valid integer value");
    EXPECT_EQ(ErrorOf([&] { RenderChapters(model, {"%f", "", "25.0", "0", "0"}, opener); }),
              "'25.0' is not a valid integer value");
    EXPECT_EQ(opens, 2);
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(OpenDescriptors(Avi("kf25.avi")), 0);
}

TEST(AviSnapping, OpenErrorsEndTheRendering)
{
    const TitleModel model = ChaptersAt({0, 5000});
    int alive = 0, opens = 0;
    // Opened before the timing texts are parsed: the AVI message wins.
    EXPECT_EQ(ErrorOf([&] {
                  RenderChapters(model, {"%f", "", "x", "0", "0"},
                                 CountedOpener(Avi("audio_only.avi"), alive, opens));
              }),
              kAviNoVideoError);
    EXPECT_EQ(ErrorOf([&] {
                  RenderChapters(model, {"%f", "", "25000", "0", "0"},
                                 CountedOpener(Avi("no_such_file.avi"), alive, opens));
              }),
              kAviOpenError);
    EXPECT_EQ(opens, 2);
    EXPECT_EQ(alive, 0);
}

}  // namespace
}  // namespace pelvano
