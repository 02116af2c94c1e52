// Exact NTSC time against MKVToolNix, which reads the chapters of a VIDEO_TS
// folder itself and keeps them in nanoseconds at 1001/30 ms a frame.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "chapters/chapter_model.h"
#include "chapters/title_loader.h"
#include "load_helpers.h"
#include "output/format_engine.h"
#include "test_util.h"

namespace pelvano::test {
namespace {

namespace fs = std::filesystem;

// The chapter starts mkvmerge reads from title `title` (1-based) of a
// VIDEO_TS folder holding `fixture`'s navigation files.
std::vector<uint64_t> MkvmergeChapterStartsNs(const std::string& fixture, int title)
{
    TempDir dir;
    const fs::path videoTs = dir.path() / "VIDEO_TS";
    CopyTitleSetFiles(FixturePath("dvd/" + fixture), videoTs.string());
    // mkvmerge wants a track to put the chapters beside.
    const std::string mkv = dir.file("out.mkv");
    const ProcessResult merge =
        RunProcess({FindProgram("mkvmerge"), "-q", "-o", mkv, "--chapters",
                    videoTs.string() + ":" + std::to_string(title), FixturePath("avi/kf25.avi")});
    EXPECT_EQ(merge.exitCode, 0) << merge.out << merge.err;
    const ProcessResult chapters = RunProcess({FindProgram("mkvextract"), mkv, "chapters", "-"});
    EXPECT_EQ(chapters.exitCode, 0) << chapters.err;

    std::vector<uint64_t> starts;
    const std::regex start(R"(<ChapterTimeStart>(\d+):(\d+):(\d+)\.(\d{9})</ChapterTimeStart>)");
    for (auto it = std::sregex_iterator(chapters.out.begin(), chapters.out.end(), start);
         it != std::sregex_iterator(); ++it) {
        const auto& m = *it;
        starts.push_back((std::stoull(m[1]) * 3600 + std::stoull(m[2]) * 60 + std::stoull(m[3])) *
                             1'000'000'000ull +
                         std::stoull(m[4]));
    }
    return starts;
}

TEST(ExactNtscTime, StartsAreMkvmergesTimesRoundedUpAndFramesItsFrames)
{
    if (FindProgram("mkvmerge").empty() || FindProgram("mkvextract").empty())
        GTEST_SKIP() << "mkvmerge or mkvextract not installed (Debian package mkvtoolnix)";
    // Title 1: cells of 5:15 and 9:15 put chapter 2 at 450 frames, 15015 ms,
    // where summing rounded cell lengths would give 15016; title 2 starts its
    // second chapter at 301 frames, 10043.37 ms.
    for (const int title : {1, 2}) {
        SCOPED_TRACE("title " + std::to_string(title));
        const std::vector<uint64_t> expectedNs = MkvmergeChapterStartsNs("ntsc", title);
        ASSERT_GE(expectedNs.size(), 2u);

        LoadRequest request{false, title - 1, true};
        request.exactNtsc = true;
        const LoadResult load = Load(FixturePath("dvd/ntsc/VTS_01_0.IFO"), request);
        ASSERT_TRUE(load.model);
        const TitleModel& model = *load.model;
        ASSERT_EQ(model.chapterCount, expectedNs.size());

        std::string expectedFrames;
        for (size_t k = 0; k < expectedNs.size(); ++k) {
            EXPECT_EQ(model.chapterStartMs(k), (expectedNs[k] + 999'999) / 1'000'000) << "chapter " << k + 1;
            expectedFrames += std::to_string((expectedNs[k] * 30 + 500'500'000) / 1'001'000'000) + "\r\n";
        }
        // The frame numbers at 29.97 fps are the chapters' own frames.
        EXPECT_EQ(RenderChapters(model, {"%f", "", "29970", "0", "0"}).text, expectedFrames);

        // Recomputing from the marks gives the load's times again.
        ChapterDocument doc;
        ApplyLoad(doc, load);
        RebuildTimestamps(doc);
        EXPECT_EQ(doc.model.cellStartsMs, model.cellStartsMs);
        EXPECT_EQ(doc.timeLength, load.timeLength);
    }
}

TEST(ExactNtscTime, OnlyNtscTitlesChange)
{
    struct Case {
        const char* ifo;
        bool exactChangesIt;
    } const cases[] = {{"examples", false}, {"dvd/short_last", false}, {"dvd/ntsc", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ifo);
        const std::string path = c.ifo == std::string("examples")
                                     ? ExamplePath("VTS_01_0.IFO")
                                     : FixturePath(std::string(c.ifo) + "/VTS_01_0.IFO");
        LoadRequest request;
        const LoadResult off = Load(path, request);
        request.exactNtsc = true;
        const LoadResult on = Load(path, request);
        ASSERT_TRUE(off.model && on.model);
        EXPECT_EQ(on.report.plainText() != off.report.plainText(), c.exactChangesIt);
        EXPECT_EQ(on.model->cellStartsMs != off.model->cellStartsMs, c.exactChangesIt);
        EXPECT_EQ(on.frameRate, off.frameRate);
    }
}

}  // namespace
}  // namespace pelvano::test
