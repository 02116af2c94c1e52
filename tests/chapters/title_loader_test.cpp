// Title loading: model, cell table, labels and the raw report of synthetic
// title sets, each built for one rule and checked against values worked out
// by hand.

#include <gtest/gtest.h>

#include <cmath>

#include "ifo/title_set.h"
#include "load_helpers.h"

namespace pelvano::test {
namespace {

using U = std::vector<uint32_t>;
using S = std::vector<std::string>;
using Bools = std::vector<bool>;

TEST(LoadTitle, PalTitleSetLineForLine)
{
    TempDir dir;
    const std::string path = WriteImage(dir, IfoImage()
                                                 .videoAttributes(0x5D, 0x00)
                                                 .addAudio("en", AudioFormat::Ac3, 2)
                                                 .addSubPicture("en")
                                                 .addPgc(Pgc()
                                                             .cell(1, 1, 0, 0, 10, 12)
                                                             .cell(1, 2, 0, 1, 0, 0)
                                                             .cell(2, 1, 0, 0, 5, 0)
                                                             .programMap({1, 2, 3})));
    const LoadResult res = Load(path);

    // 10 s 12 frames at 25 fps = 10480 ms; the last chapter's cell is exactly 5 s.
    ASSERT_TRUE(res.model.has_value());
    EXPECT_EQ(res.model->cellLengthsMs, (U{10480, 60000, 5000}));
    EXPECT_EQ(res.model->cellStartsMs, (U{0, 10480, 70480, 75480}));
    EXPECT_EQ(res.model->chapterStarts, (U{1, 2, 3}));
    EXPECT_EQ(res.model->chapterCount, 3u);
    EXPECT_EQ(res.timeLength, "00:01:15:48");
    EXPECT_EQ(res.chapterTotal, "3");
    EXPECT_EQ(res.frameRate, "25000");
    EXPECT_EQ(res.titles, (S{"1"}));
    EXPECT_EQ(res.selectedTitle, 0);
    EXPECT_FALSE(res.failure.has_value());

    EXPECT_EQ(Rows(res.rows),
              (S{"x|000|01|01|00:00:10:48|00:00:00:00||001|1", "x|001|01|02|00:01:00:00|00:00:10:48||002|2",
                 "x|002|02|01|00:00:05:00|00:01:10:48|||3"}));

    std::vector<std::string> want = {"Opening IFO file " + path + " OK.", ""};
    want += VideoBlock("MPEG-2", "PAL 625/50", "16:9", "pan-scan", "720x576", "no", "Camera");
    // The stream lines take the reader's descriptions, checked in the reader tests.
    const TitleSet r = ParseTitleSet(ReadFile(path));
    want += {"",
             B("Audio:"),
             "  0. " + r.audio.at(0),
             "",
             B("SubPicture:"),
             "  0. " + r.subPictures.at(0),
             "",
             B("Program Chain(s):"),
             "  Using PGC #0. Length: 00:01:15:48 in 3 cell(s).",
             "  000. VOB-ID: 01/CELL-ID: 01 - Len: 00:00:10:48 - TS: 00:00:00:00",
             "  001. VOB-ID: 01/CELL-ID: 02 - Len: 00:01:00:00 - TS: 00:00:10:48",
             "  002. VOB-ID: 02/CELL-ID: 01 - Len: 00:00:05:00 - TS: 00:01:10:48",
             "",
             B("Cells links :"),
             "000 -> 001 -> 002",
             "",
             B("Total film length : 00:01:15:48"),
             "",
             "Chapter 1 = 00:00:00:00",
             "Chapter 2 = 00:00:10:48",
             "Chapter 3 = 00:01:10:48"};
    ExpectReport(res.report, want);
}

TEST(LoadTitle, NtscFramesAndAnAngleBlockLineForLine)
{
    TempDir dir;
    const std::string path =
        WriteImage(dir, IfoImage()
                            .videoAttributes(0x00, 0x0F)
                            .frameRateBits(FrameRateBits::Fps30)
                            .addAudio("fr", AudioFormat::Ac3, 6)
                            .addPgc(Pgc()
                                        .cell(1, 1, 0, 0, 0, 1)
                                        .cell(1, 2, 0, 0, 20, 15)
                                        .angleBlock({MakeCell(2, 1, 0, 0, 30, 0), MakeCell(3, 1, 0, 0, 31, 0),
                                                     MakeCell(4, 1, 0, 0, 32, 0)})
                                        .cell(5, 1, 0, 0, 40, 0)
                                        .programMap({1, 3, 6})));
    const LoadResult res = Load(path);

    // 1 frame = 33 ms (hundredths 03), 15 frames = 500 ms (50); the angle
    // block adds only its first cell; the other two keep their real lengths.
    ASSERT_TRUE(res.model.has_value());
    EXPECT_EQ(res.frameRate, "29970");
    EXPECT_EQ(res.model->cellLengthsMs, (U{33, 20500, 30000, 31000, 32000, 40000}));
    EXPECT_EQ(res.model->cellStartsMs, (U{0, 33, 20533, 50533, 50533, 50533, 90533}));
    EXPECT_EQ(res.model->chapterStarts, (U{1, 3, 6}));
    EXPECT_EQ(res.timeLength, "00:01:30:53");

    EXPECT_EQ(Rows(res.rows),
              (S{"x|000|01|01|00:00:00:03|00:00:00:00||002|1", " |001|01|02|00:00:20:50|00:00:00:03|||",
                 "x|002|02|01|00:00:30:00|00:00:20:53|01|005|2", " |003|03|01|00:00:31:00|-|02||",
                 " |004|04|01|00:00:32:00|-|03||", "x|005|05|01|00:00:40:00|00:00:50:53|||3"}));

    std::vector<std::string> want = {"Opening IFO file " + path + " OK.", ""};
    want += VideoBlock("MPEG-1", "NTSC 525/60", "4:3", "pan-scan & letterboxed", "352x240", "yes",
                       "Film (625/50 only)");
    // Audio only: the missing sub-picture block leaves its two blank lines.
    want +=
        {"", B("Audio:"), "  0. " + ParseTitleSet(ReadFile(path)).audio.at(0), "", "", B("Program Chain(s):"),
         // 1 f + 20 s 15 f + 30 s + 40 s = 1:30 + 16 frames -> 53 hundredths
         "  Using PGC #0. Length: 00:01:30:53 in 6 cell(s).",
         "  000. VOB-ID: 01/CELL-ID: 01 - Len: 00:00:00:03 - TS: 00:00:00:00",
         "  001. VOB-ID: 01/CELL-ID: 02 - Len: 00:00:20:50 - TS: 00:00:00:03",
         "  002. VOB-ID: 02/CELL-ID: 01 - Len: 00:00:30:00 - TS: 00:00:20:53 (Angle 1/3)",
         "  003. VOB-ID: 03/CELL-ID: 01 - Len: 00:00:31:00 - TS: --:--:--:-- (Angle 2/3)",
         "  004. VOB-ID: 04/CELL-ID: 01 - Len: 00:00:32:00 - TS: --:--:--:-- (Angle 3/3)",
         "  005. VOB-ID: 05/CELL-ID: 01 - Len: 00:00:40:00 - TS: 00:00:50:53", "", B("Cells links :"),
         "000 -> 002 -> 005", "", B("Total film length : 00:01:30:53"), "", "Chapter 1 = 00:00:00:00",
         "Chapter 2 = 00:00:20:53", "Chapter 3 = 00:00:50:53"};
    ExpectReport(res.report, want);
}

TEST(LoadTitle, OneProgramAndNoProgramMap)
{
    TempDir dir;
    const Pgc cells = Pgc().cell(1, 1, 0, 0, 20, 0).cell(1, 2, 0, 0, 3, 0);
    const LoadResult one = Load(WriteImage(dir, IfoImage().pal().addPgc(Pgc(cells).programMap({1}))));
    ASSERT_TRUE(one.model.has_value());
    EXPECT_EQ(Rows(one.rows),
              (S{"x|000|01|01|00:00:20:00|00:00:00:00|||1", " |001|01|02|00:00:03:00|00:00:20:00|||"}));
    EXPECT_EQ(one.chapterTotal, "1");
    ExpectTail(one.report, "Cells links :\r\n000\r\n\r\nTotal film length : 00:00:23:00\r\n\r\n"
                           "Chapter 1 = 00:00:00:00\r\n");

    // Without a program map nothing is checked; after the cell lines come a
    // blank line, the total and the blank line before the (absent) chapters.
    const LoadResult none = Load(WriteImage(dir, IfoImage().pal().addPgc(cells), "none.IFO"));
    ASSERT_TRUE(none.model.has_value());
    EXPECT_EQ(Checks(none.rows), (Bools{false, false}));
    EXPECT_EQ(none.model->chapterCount, 0u);
    EXPECT_TRUE(none.model->chapterStarts.empty());
    EXPECT_EQ(none.chapterTotal, "0");
    ExpectTail(none.report, "  001. VOB-ID: 01/CELL-ID: 02 - Len: 00:00:03:00 - TS: 00:00:20:00\r\n\r\n"
                            "Total film length : 00:00:23:00\r\n\r\n");
}

// The first cell of the last chapter against the 5 s floor; only the check
// goes, the Chapter text, the previous Linked to and the map entry stay.
TEST(LoadTitle, LastChapterRule)
{
    struct Case {
        const char* name;
        uint8_t seconds, frames;
        bool fix, cellAfter, dropped;
    } const cases[] = {
        {"4 s 24 f = 4960 ms", 4, 24, true, false, true},
        {"5 s = 5000 ms", 5, 0, true, false, false},
        {"3 s, rule off", 3, 0, false, false, false},
        {"4960 ms and a 30 s cell after it in the chapter", 4, 24, true, true, true},
    };
    const std::string warning = "Warning ! Last chapter length is less than 5 s and has been disabled.";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        Pgc pgc = Pgc().cell(1, 1, 0, 1, 0, 0).cell(1, 2, 0, 0, c.seconds, c.frames).programMap({1, 2});
        if (c.cellAfter)
            pgc.cell(1, 3, 0, 0, 30, 0);
        const LoadResult res = Load(WriteImage(dir, IfoImage().pal().addPgc(pgc)), true, -1, c.fix);
        ASSERT_TRUE(res.model.has_value());
        EXPECT_EQ(res.model->chapterStarts, (U{1, 2}));
        EXPECT_EQ(res.model->chapterCount, c.dropped ? 1u : 2u);
        EXPECT_EQ(res.chapterTotal, c.dropped ? "1" : "2");
        EXPECT_EQ(Checks(res.rows), (c.cellAfter ? Bools{true, !c.dropped, false} : Bools{true, !c.dropped}));
        EXPECT_EQ(res.rows[0].linkedTo + "|" + res.rows[1].chapter, "001|2");
        // The chapter lines list the dropped chapter too; the warning follows in red.
        ExpectTail(res.report, "Chapter 2 = 00:01:00:00\r\n" + (c.dropped ? warning + "\r\n" : ""));
        EXPECT_EQ(res.report.lines().back().style, c.dropped ? LineStyle::Red : LineStyle::Normal);
    }

    // One chapter only, and it is short: the title is left with none.
    TempDir dir;
    const LoadResult only = Load(WriteImage(
        dir, IfoImage().pal().addPgc(Pgc().cell(1, 1, 0, 0, 3, 0).cell(1, 2, 0, 0, 6, 0).programMap({1}))));
    ASSERT_TRUE(only.model.has_value());
    EXPECT_EQ(only.model->chapterCount, 0u);
    EXPECT_EQ(only.chapterTotal, "0");
    EXPECT_FALSE(only.rows[0].checked);
}

IfoImage ThreePgcs()
{
    // 10 min, 20 min, 5 min: the longest is not the first.
    return IfoImage()
        .pal()
        .addPgc(Pgc().cell(1, 1, 0, 10, 0, 0).programMap({1}))
        .addPgc(Pgc().cell(2, 1, 0, 20, 0, 0).cell(2, 2, 0, 0, 0, 5).time(0, 20, 0, 5).programMap({1, 2}))
        .addPgc(Pgc().cell(3, 1, 0, 5, 0, 0).programMap({1}));
}

TEST(LoadTitle, PgcSelection)
{
    TempDir dir;
    const std::string path = WriteImage(dir, ThreePgcs());
    const LoadResult fresh = Load(path, true, 0);
    EXPECT_EQ(fresh.titles, (S{"1", "2", "3"}));
    EXPECT_EQ(fresh.selectedTitle, 1);
    ASSERT_TRUE(fresh.model.has_value());
    EXPECT_EQ(fresh.model->cellLengthsMs, (U{1200000, 200}));
    EXPECT_NE(fresh.report.plainText().find("\r\n  Using PGC #1. Length: 00:20:00:20 in 2 cell(s).\r\n"),
              std::string::npos);

    // A PGC change keeps the chosen index; one beyond the list, or none,
    // falls back to the first PGC.
    const std::pair<int, int> changes[] = {{2, 2}, {3, 0}, {40, 0}, {-1, 0}};
    for (const auto& [current, selected] : changes) {
        SCOPED_TRACE(current);
        const LoadResult res = Load(path, false, current);
        EXPECT_EQ(res.selectedTitle, selected);
        ASSERT_TRUE(res.model.has_value());
        EXPECT_EQ(res.model->cellLengthsMs, (U{selected ? 300000u : 600000u}));
    }
}

TEST(LoadTitle, TitleSetWithoutPgc)
{
    TempDir dir;
    const std::string path = WriteImage(dir, IfoImage().pal().addAudio("en", AudioFormat::Ac3, 2));
    for (bool newFile : {true, false}) {
        const LoadResult res = Load(path, newFile, 0);
        EXPECT_EQ(res.titles, S{});
        EXPECT_EQ(res.selectedTitle, -1);
        EXPECT_EQ(res.frameRate, "25000");
        EXPECT_TRUE(res.rows.empty());
        EXPECT_FALSE(res.model.has_value());
        ASSERT_FALSE(res.report.lines().empty());
        EXPECT_EQ(res.report.lines().back().text, "Program Chain(s):");
    }
}

TEST(LoadTitle, FailedOpenGivesTheLineWithTheReasonAndEmptiesTheDocument)
{
    TempDir dir;
    WriteFile(dir.file("empty.IFO"), "");
    WriteFile(dir.file("noise.IFO"), RandomBytes(8192, 11));
    const std::string notATitleSet = "The file is not a title-set IFO file.";
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {dir.file("missing.IFO"), {"No such file or directory."}},
        {dir.file("empty.IFO"), {notATitleSet}},
        {dir.file("noise.IFO"), {notATitleSet}},
        {ExamplePath("VIDEO_TS.IFO"),
         {"This is the disc's menu file, which holds no titles: open one of the VTS_nn_0.IFO files beside "
          "it."}},
    };
    for (const auto& [path, reason] : cases) {
        SCOPED_TRACE(path);
        const LoadResult res = Load(path);
        std::vector<std::string> want{"error opening file " + path};
        want.insert(want.end(), reason.begin(), reason.end());
        ExpectReport(res.report, want);
        EXPECT_TRUE(res.failure.has_value());
        EXPECT_FALSE(res.titles.has_value());
        EXPECT_FALSE(res.frameRate.has_value());

        // Nothing of the title before stays to be saved as this one's.
        ChapterDocument doc;
        doc.model.cellLengthsMs = {1000};
        doc.rows.resize(1);
        doc.chapterTotal = "1";
        ApplyLoad(doc, res);
        EXPECT_TRUE(doc.rows.empty());
        EXPECT_TRUE(doc.model.cellLengthsMs.empty());
        EXPECT_EQ(doc.chapterTotal, "0");
    }
}

TEST(LoadTitle, ProgramMapEntriesOutsideTheCellsAreLeftOut)
{
    TempDir dir;
    // Entries 0 and 9 name no cell of three; 2 and 3 remain after 1.
    const LoadResult res = Load(WriteImage(dir, IfoImage().pal().addPgc(Pgc()
                                                                            .cell(1, 1, 0, 0, 10, 0)
                                                                            .cell(1, 2, 0, 0, 10, 0)
                                                                            .cell(1, 3, 0, 0, 10, 0)
                                                                            .programMap({1, 0, 2, 9, 3}))));
    ASSERT_TRUE(res.model.has_value());
    EXPECT_EQ(res.model->chapterStarts, (U{1, 2, 3}));
    EXPECT_EQ(res.model->chapterCount, 3u);
    EXPECT_EQ(Rows(res.rows),
              (S{"x|000|01|01|00:00:10:00|00:00:00:00||001|1", "x|001|01|02|00:00:10:00|00:00:10:00||002|2",
                 "x|002|01|03|00:00:10:00|00:00:20:00|||3"}));
    EXPECT_NE(res.report.plainText().find("\r\nChapter 3 = 00:00:20:00\r\n"), std::string::npos);

    // A map longer than the cells, all zero, one naming cell 255 of one, one without cells.
    for (const Pgc& pgc :
         {Pgc().cell(1, 1, 0, 0, 10, 0).cell(1, 2, 0, 0, 10, 0).programMap({1, 2, 3, 4, 5, 6}),
          Pgc().cell(1, 1, 0, 0, 10, 0).programMap({0, 0, 0}),
          Pgc().cell(1, 1, 0, 0, 10, 0).programMap({255}), Pgc().programMap({1, 2})}) {
        const LoadResult odd = Load(WriteImage(dir, IfoImage().pal().addPgc(pgc), "odd.IFO"));
        ASSERT_TRUE(odd.model.has_value());
        for (uint32_t s : odd.model->chapterStarts)
            EXPECT_TRUE(s >= 1 && s <= odd.model->cellLengthsMs.size()) << s;
        EXPECT_LE(odd.model->chapterCount, odd.model->chapterStarts.size());
    }
}

TEST(LoadTitle, PgcWithoutCells)
{
    TempDir dir;
    const LoadResult empty = Load(WriteImage(dir, IfoImage().pal().addPgc(Pgc().time(0, 0, 0, 0))));
    ASSERT_TRUE(empty.model.has_value());
    EXPECT_TRUE(empty.rows.empty());
    EXPECT_EQ(empty.model->cellStartsMs, (U{0}));
    EXPECT_EQ(empty.timeLength, "00:00:00:00");
    ExpectTail(empty.report, "Program Chain(s):\r\n  Using PGC #0. Length: 00:00:00:00 in 0 cell(s).\r\n\r\n"
                             "Total film length : 00:00:00:00\r\n\r\n");
}

TEST(FindLongestPgc, PicksTheFirstOfTheLongest)
{
    TempDir dir;
    const std::pair<IfoImage, int> cases[] = {
        {ThreePgcs(), 1},
        {IfoImage()
             .addPgc(Pgc().time(0, 10, 0, 0))
             .addPgc(Pgc().time(1, 0, 0, 0))
             .addPgc(Pgc().time(1, 0, 0, 0)),
         1},
        {IfoImage().addPgc(Pgc()).addPgc(Pgc()), 0},  // all zero
        {IfoImage(), 0},
        // Frames count as raw numbers, not as time: 30 frames (1.2 s at 25 fps) lose to 1 s.
        {IfoImage().addPgc(Pgc().time(0, 0, 1, 0)).addPgc(Pgc().time(0, 0, 0, 30)), 0},
        {IfoImage().ntsc().addPgc(Pgc().time(0, 0, 9, 6)).addPgc(Pgc().time(0, 0, 9, 7)), 1},
    };
    for (const auto& [image, longest] : cases) {
        EXPECT_EQ(FindLongestPgc(ParseTitleSet(ReadFile(WriteImage(dir, image)))), longest);
    }
}

// The conversion rule as floating point: frames × (1 / fps) × 1000, truncated.
TEST(FrameConversion, MatchesTheFloatingPointRuleForEveryFrameCount)
{
    for (uint32_t rate : {25000u, 29970u}) {
        for (uint32_t f = 0; f <= 255; ++f) {
            const double frameMs = f * (1.0 / (rate * 0.001)) * 1000.0;
            EXPECT_EQ(FramesToMs(f, rate), static_cast<uint32_t>(std::trunc(frameMs))) << f << " @ " << rate;
            EXPECT_EQ(FramesToHundredths(f, rate), static_cast<uint32_t>(std::trunc(0.1 * frameMs)))
                << f << " @ " << rate;
        }
    }
}

}  // namespace
}  // namespace pelvano::test
