#include "output/video/avi_keyframes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <utime.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <future>
#include <sstream>

#include <gtest/gtest.h>

#include "base/error.h"
#include "output/format_engine.h"
#include "output/video/media_keyframes.h"
#include "output/video/video_keyframes.h"
#include "test_util.h"

namespace pelvano {
namespace {

using test::FixturePath;
using test::MessageOf;
using test::ReadFile;
using test::RunProcess;
using test::TempDir;
using test::TestVideo;
using test::WriteFile;

std::string Avi(const std::string& name)
{
    return FixturePath("avi/" + name);
}

// The key frames ffprobe listed when the fixture was made.
std::vector<int32_t> FfprobeKeyFrames(const std::string& name)
{
    std::istringstream in(ReadFile(Avi(name + ".keyframes.txt")));
    std::vector<int32_t> keys;
    for (int32_t k; in >> k;)
        keys.push_back(k);
    return keys;
}

// The messages of the Errors that two ways of opening a file throw, run
// aside so that a hang fails the test instead of stalling it.
std::pair<std::string, std::string> OpenErrors(const std::function<void()>& first,
                                               const std::function<void()>& second)
{
    auto open =
        std::async(std::launch::async, [&] { return std::make_pair(MessageOf(first), MessageOf(second)); });
    if (open.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "still opening after 20 s";
        return {};
    }
    return open.get();
}

// A copy of kf25.avi with some bytes changed.
std::string PatchedKf25(const TempDir& dir, const std::function<void(std::string&)>& patch)
{
    std::string bytes = ReadFile(Avi("kf25.avi"));
    patch(bytes);
    WriteFile(dir.file("patched.avi"), bytes);
    return dir.file("patched.avi");
}

// Without its module the core still answers, with an Error that says so.
// First in this file: the module, once loaded, stays for the whole run.
TEST(VideoModule, MissingModuleIsAClearError)
{
    const char* set = std::getenv("PELVANO_VIDEO_MODULE");
    const std::string named = set ? set : "";
    ASSERT_EQ(setenv("PELVANO_VIDEO_MODULE", "/nonexistent/libpelvano_video.so", 1), 0);
    const std::string error = MessageOf([] { VideoKeyFrames::Open(Avi("kf25.avi")); });
    ASSERT_EQ(setenv("PELVANO_VIDEO_MODULE", named.c_str(), 1), 0);
    EXPECT_EQ(error.rfind(kVideoModuleMissing, 0), 0u) << error;
    EXPECT_NE(error.find("/nonexistent/libpelvano_video.so"), std::string::npos) << error;
    // Found again, it loads.
    EXPECT_EQ(VideoKeyFrames::Open(Avi("kf25.avi"))->keyFrames(), FfprobeKeyFrames("kf25"));
}

// Display-order positions of the key frames of the first video stream, as
// ffprobe's packet list gives them: presentation times from the first key
// frame's, in frames of the stream's rate. Also whether any frame is shown
// in another order than it is stored (B-frames).
struct Ffprobed {
    std::vector<int32_t> keys;
    bool reordered = false;
};

Ffprobed FfprobeDisplayKeyFrames(const std::string& path)
{
    const auto probe = [&](const std::string& entries) {
        const test::ProcessResult r = RunProcess({"/usr/bin/ffprobe", "-v", "error", "-select_streams", "v:0",
                                                  "-show_entries", entries, "-of", "csv=p=0", path});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.out;
    };
    int64_t tbNum = 0, tbDen = 0, rateNum = 0, rateDen = 0;
    char slash = 0, comma = 0;
    std::istringstream stream(probe("stream=time_base,r_frame_rate"));
    stream >> tbNum >> slash >> tbDen >> comma >> rateNum >> slash >> rateDen;
    Ffprobed result;
    std::vector<int64_t> keyTimes;
    std::istringstream packets(probe("packet=pts,flags"));
    int64_t previous = INT64_MIN;
    for (std::string line; std::getline(packets, line);) {
        std::istringstream fields(line);
        std::string pts, flags;
        std::getline(fields, pts, ',');
        std::getline(fields, flags, ',');
        if (pts == "N/A")
            continue;
        const int64_t t = std::stoll(pts);
        result.reordered |= t < previous;
        previous = t;
        if (!flags.empty() && flags[0] == 'K')
            keyTimes.push_back(t);
    }
    std::sort(keyTimes.begin(), keyTimes.end());
    for (const int64_t t : keyTimes) {
        const double frames = double(t - keyTimes.front()) * tbNum * rateNum / (double(tbDen) * rateDen);
        result.keys.push_back(static_cast<int32_t>(std::lround(frames)));
    }
    return result;
}

// Key frames and rates: the AVI fixtures as ffprobe listed them when they
// were made (see the fixtures' README), the Matroska and MP4 files made by
// the suite as ffprobe lists them now; all read through the video module,
// as the window reads them. truncated.avi has no index and ends inside
// frame 173: its key frames come from the packets. nocues.mkv has no Cues:
// one pass over its packets.
TEST(VideoKeyFrames, FilesAgreeWithFfprobe)
{
    struct Case {
        std::string path;
        std::vector<int32_t> keys;
        std::string rateText;
        std::optional<AviRate> aviRate;  // as the stream header gives it
        bool reordered = false;          // the file has B-frames
    };
    const auto video = [](const std::string& name, const char* rateText) {
        const std::string path = TestVideo(name);
        const Ffprobed probed = FfprobeDisplayKeyFrames(path);
        return Case{path, probed.keys, rateText, std::nullopt, probed.reordered};
    };
    const Case cases[] = {
        {Avi("kf25.avi"), FfprobeKeyFrames("kf25"), "25000", AviRate{25, 1}},
        {Avi("kf2997.avi"), FfprobeKeyFrames("kf2997"), "29971",
         AviRate{30000, 1001}},  // 29970.03 rounded up
        {Avi("kf23976.avi"), FfprobeKeyFrames("kf23976"), "23977", AviRate{24000, 1001}},
        {Avi("truncated.avi"), FfprobeKeyFrames("truncated"), "25000", AviRate{25, 1}},
        video("cues.mkv", "29970"),  // Matroska and MP4: the nearest thousandth
        video("nocues.mkv", "29970"),
        video("bframes.mp4", "25000"),
        video("opengop.mov", "23976"),
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(VideoKeyFrames::Open(c.path)->keyFrames(), c.keys);
        EXPECT_EQ(KeyFrameIndexCache().openVideo(c.path), c.rateText);
        if (c.aviRate) {
            const std::optional<AviRate> read = AviKeyFrames::ReadRate(c.path);
            ASSERT_TRUE(read);
            EXPECT_EQ(read->rate, c.aviRate->rate);
            EXPECT_EQ(read->scale, c.aviRate->scale);
        } else {
            // The forced key frames make the distances uneven; B-frames make
            // display order differ from file order.
            EXPECT_GE(c.keys.size(), 5u);
            EXPECT_TRUE(c.reordered);
        }
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

TEST(VideoKeyFrames, ContainerByExtension)
{
    const std::pair<const char*, Container> cases[] = {
        {"a.mkv", Container::Matroska}, {"a.WebM", Container::Matroska}, {"/x/a.MP4", Container::Mp4},
        {"a.m4v", Container::Mp4},      {"a.mov", Container::Mp4},       {"a.avi", Container::Avi},
        {"a.AVI", Container::Avi},      {"mkv", Container::Avi},         {"x.mkv/a", Container::Avi},
        {"a.mkv.avi", Container::Avi},
    };
    for (const auto& [path, container] : cases)
        EXPECT_EQ(ContainerOf(path), container) << path;
}

// Cut short or scribbled over, a Matroska or MP4 file gives a message or
// key frames, never a crash or a hang.
TEST(VideoKeyFrames, DamagedFiles)
{
    TempDir dir;
    uint32_t seed = 777;
    for (const char* name : {"cues.mkv", "bframes.mp4"}) {
        const std::string original = ReadFile(TestVideo(name));
        const std::string path = dir.file(std::string("damaged.") + (name[0] == 'c' ? "mkv" : "mp4"));
        for (int round = 0; round < 80; ++round) {
            const bool cut = round < 40;
            std::string bytes = cut ? original.substr(0, original.size() * round / 40) : original;
            for (int i = 0; !cut && i < 8; ++i) {
                seed = seed * 1103515245u + 12345u;
                bytes[seed % bytes.size()] = static_cast<char>(seed >> 24);
            }
            SCOPED_TRACE(std::string(name) + " round " + std::to_string(round));
            WriteFile(path, bytes);
            try {
                const MediaKeyFrames read = ReadMediaKeyFrames(path, ContainerOf(path));
                EXPECT_TRUE(std::is_sorted(read.keys.begin(), read.keys.end()));
                EXPECT_TRUE(read.keys.empty() || read.keys.front() >= 0);
            } catch (const Error& e) {
                const std::string m = e.what();
                EXPECT_TRUE(m == kMediaOpenError || m == kMediaNoVideoError || m == kMediaVariableRateError)
                    << m;
            }
        }
    }
}

// The index is kept while path, device, inode, size and modification time
// stay; any of them changed, the file is read afresh.
TEST(KeyFrameIndexCache, KeepsTheIndexWhileTheFileStaysTheSame)
{
    TempDir dir;
    const std::string path = dir.file("chosen.avi");
    const std::string kf25 = ReadFile(Avi("kf25.avi")), kf2997 = ReadFile(Avi("kf2997.avi"));
    const auto keys = [](KeyFrameIndexCache& cache, const std::string& p) {
        return static_cast<VideoKeyFrames&>(*cache.keyFrames(p)).keyFrames();
    };
    KeyFrameIndexCache cache;
    WriteFile(path, kf25);
    ASSERT_EQ(keys(cache, path), FfprobeKeyFrames("kf25"));

    // Rewritten in place (same inode), other size: read afresh.
    WriteFile(path, kf2997);
    EXPECT_EQ(keys(cache, path), FfprobeKeyFrames("kf2997"));

    // Same size and modification time, same inode: the index is kept, not
    // the file read (its key flags are gone here).
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    std::string noKeys = kf2997;
    for (size_t at = noKeys.find("00dc", noKeys.rfind("idx1")); at != std::string::npos;
         at = noKeys.find("00dc", at + 1))
        noKeys[at + 4] = 0;  // idx1 flags of every video chunk
    WriteFile(path, noKeys);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_EQ(keys(cache, path), FfprobeKeyFrames("kf2997"));
    // Touched: read afresh.
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), nullptr, 0), 0);
    EXPECT_NE(keys(cache, path), FfprobeKeyFrames("kf2997"));

    // Another file moved into its place (another inode).
    WriteFile(dir.file("other.avi"), kf25);
    std::filesystem::rename(dir.file("other.avi"), path);
    EXPECT_EQ(keys(cache, path), FfprobeKeyFrames("kf25"));

    // Deleted: the message of a file that isn't there, until it is back.
    std::filesystem::remove(path);
    EXPECT_EQ(MessageOf([&] { cache.keyFrames(path); }), kAviOpenError);
    WriteFile(path, kf2997);
    EXPECT_EQ(keys(cache, path), FfprobeKeyFrames("kf2997"));

    // "Open video" on a Matroska file keeps its index for the renderings.
    const std::string mkv = dir.file("chosen.mkv");
    std::filesystem::copy_file(TestVideo("cues.mkv"), mkv);
    ASSERT_EQ(cache.openVideo(mkv), "29970");
    const std::vector<int32_t> mkvKeys = FfprobeDisplayKeyFrames(mkv).keys;
    EXPECT_EQ(keys(cache, mkv), mkvKeys);
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
    EXPECT_EQ(MessageOf([&] { AviKeyFrames::Open(path); }),
              "# AVIFileGetStream : Can't get a video stream !");
    // "Open AVI" accepts it: it opens, there is just no rate to take.
    EXPECT_EQ(AviKeyFrames::ReadRate(path), std::nullopt);
}

// Files that can't be numbered: refused with a message by both ways of
// opening them, never a crash, a hang or made-up positions.
TEST(KeyFrameFiles, FilesThatCannotBeUsed)
{
    TempDir dir;
    WriteFile(dir.file("notes.mkv"), "not a video\r\n");
    WriteFile(dir.file("notes.mp4"), "not a video\r\n");
    ASSERT_EQ(mkfifo(dir.file("fifo.mkv").c_str(), 0600), 0);
    WriteFile(dir.file("notes.avi"), "RIFF? No, just some words.\r\n");
    WriteFile(dir.file("riff.avi"), std::string("RIFF\x04\0\0\0AVI ", 12));
    ASSERT_EQ(mkfifo(dir.file("fifo.avi").c_str(), 0600), 0);
    const struct {
        std::string path;
        const char* message;
        bool avi;  // through the AVI reader itself rather than the video module
    } cases[] = {
        {dir.file("notes.mkv"), kMediaOpenError, false},
        {dir.file("notes.mp4"), kMediaOpenError, false},
        {dir.file("fifo.mkv"), kMediaOpenError, false},
        {dir.file("missing.mov"), kMediaOpenError, false},
        {TestVideo("audio.mkv"), kMediaNoVideoError, false},
        {TestVideo("audio.mp4"), kMediaNoVideoError, false},
        {TestVideo("vfr.mkv"), kMediaVariableRateError, false},
        {TestVideo("vfr.mp4"), kMediaVariableRateError, false},
        {dir.file("missing.avi"), kAviOpenError, false},
        {dir.file("notes.avi"), kAviOpenError, true},
        {dir.file("riff.avi"), kAviOpenError, true},
        {dir.file("fifo.avi"), kAviOpenError, true},
        {dir.file("missing.avi"), kAviOpenError, true},
        {dir.path().string(), kAviOpenError, true},
        {"http://127.0.0.1:9/x.avi", kAviOpenError, true},  // a name, never an address
        {FixturePath("dvd/ntsc/VTS_01_0.IFO"), kAviOpenError, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string& path = c.path;
        const auto [openError, rateError] =
            c.avi ? OpenErrors([&] { AviKeyFrames::Open(path); }, [&] { AviKeyFrames::ReadRate(path); })
                  : OpenErrors([&] { VideoKeyFrames::Open(path); },
                               [&] { KeyFrameIndexCache().openVideo(path); });
        EXPECT_EQ(openError, c.message);
        EXPECT_EQ(rateError, c.message);
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
        const std::string error = MessageOf([&] { source = AviKeyFrames::Open(path); });
        MessageOf([&] { AviKeyFrames::ReadFrameRateText(path); });
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
