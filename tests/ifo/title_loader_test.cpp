// Title loading: model, cell table, labels and the raw report of synthetic
// title sets, each built for one rule and checked against values worked out
// by hand.

#include <gtest/gtest.h>

#include <cmath>

#include "ifo/ifo_reader.h"
#include "ifo_test_helpers.h"

namespace pelvano::test {
namespace {

using U = std::vector<uint32_t>;
using S = std::vector<std::string>;
using Bools = std::vector<bool>;

// The stream lines come from the reader's descriptions, checked on their own
// in the reader tests.
std::vector<Line> Streams(const std::string& path)
{
    auto r = IfoReader::Open(path);
    std::vector<Line> out;
    if (!r)
        return out;
    if (!r->audioDescriptions().empty()) {
        out.push_back(B("Audio:"));
        for (size_t i = 0; i < r->audioDescriptions().size(); ++i)
            out.push_back(N("  " + std::to_string(i) + ". " + r->audioDescriptions()[i]));
    }
    out.push_back(N(""));
    if (!r->subPictureDescriptions().empty()) {
        out.push_back(B("SubPicture:"));
        for (size_t i = 0; i < r->subPictureDescriptions().size(); ++i)
            out.push_back(N("  " + std::to_string(i) + ". " + r->subPictureDescriptions()[i]));
    }
    return out;
}

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
    EXPECT_EQ(res.openAviEnabled, true);

    ASSERT_EQ(res.rows.size(), 3u);
    EXPECT_EQ(Column(res.rows, &CellRow::caption), (S{"000", "001", "002"}));
    EXPECT_EQ(Column(res.rows, &CellRow::vobId), (S{"01", "01", "02"}));
    EXPECT_EQ(Column(res.rows, &CellRow::cellId), (S{"01", "02", "01"}));
    EXPECT_EQ(Column(res.rows, &CellRow::length), (S{"00:00:10:48", "00:01:00:00", "00:00:05:00"}));
    EXPECT_EQ(Column(res.rows, &CellRow::timestamp), (S{"00:00:00:00", "00:00:10:48", "00:01:10:48"}));
    EXPECT_EQ(Column(res.rows, &CellRow::angle), (S{"", "", ""}));
    EXPECT_EQ(Column(res.rows, &CellRow::linkedTo), (S{"001", "002", ""}));
    EXPECT_EQ(Column(res.rows, &CellRow::chapter), (S{"1", "2", "3"}));
    EXPECT_EQ(Checks(res.rows), (Bools{true, true, true}));

    std::vector<Line> want = {N("Opening IFO file " + path + " OK."), N("")};
    want += VideoBlock("MPEG-2", "PAL 625/50", "16:9", "pan-scan", "720x576", "no", "Camera");
    want.push_back(N(""));
    want += Streams(path);
    want += {N(""),
             B("Program Chain(s):"),
             N("  Using PGC #0. Length: 00:01:15:48 in 3 cell(s)."),
             N("  000. VOB-ID: 01/CELL-ID: 01 - Len: 00:00:10:48 - TS: 00:00:00:00"),
             N("  001. VOB-ID: 01/CELL-ID: 02 - Len: 00:01:00:00 - TS: 00:00:10:48"),
             N("  002. VOB-ID: 02/CELL-ID: 01 - Len: 00:00:05:00 - TS: 00:01:10:48"),
             N(""),
             B("Cells links :"),
             N("000 -> 001 -> 002"),
             N(""),
             B("Total film length : 00:01:15:48"),
             N(""),
             N("Chapter 1 = 00:00:00:00"),
             N("Chapter 2 = 00:00:10:48"),
             N("Chapter 3 = 00:01:10:48")};
    ExpectReport(res.report, want);
    // The audio and sub-picture lines themselves.
    ASSERT_GE(res.report.lines().size(), 15u);
    EXPECT_EQ(res.report.lines()[12].text.rfind("  0. ", 0), 0u);
    EXPECT_EQ(res.report.lines()[15].text.rfind("  0. ", 0), 0u);
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
    EXPECT_EQ(res.model->chapterCount, 3u);
    EXPECT_EQ(res.timeLength, "00:01:30:53");
    EXPECT_EQ(res.chapterTotal, "3");

    EXPECT_EQ(Column(res.rows, &CellRow::length),
              (S{"00:00:00:03", "00:00:20:50", "00:00:30:00", "00:00:31:00", "00:00:32:00", "00:00:40:00"}));
    EXPECT_EQ(Column(res.rows, &CellRow::timestamp),
              (S{"00:00:00:00", "00:00:00:03", "00:00:20:53", "-", "-", "00:00:50:53"}));
    EXPECT_EQ(Column(res.rows, &CellRow::angle), (S{"", "", "01", "02", "03", ""}));
    EXPECT_EQ(Column(res.rows, &CellRow::linkedTo), (S{"002", "", "005", "", "", ""}));
    EXPECT_EQ(Column(res.rows, &CellRow::chapter), (S{"1", "", "2", "", "", "3"}));
    EXPECT_EQ(Checks(res.rows), (Bools{true, false, true, false, false, true}));
    EXPECT_FALSE(res.rows[3].usedInTimestamps());

    std::vector<Line> want = {N("Opening IFO file " + path + " OK."), N("")};
    want += VideoBlock("MPEG-1", "NTSC 525/60", "4:3", "pan-scan & letterboxed", "352x240", "yes",
                       "Film (625/50 only)");
    want.push_back(N(""));
    want += Streams(path);  // audio only: the sub-picture block is just the blank lines
    want += {N(""),
             B("Program Chain(s):"),
             // 1 f + 20 s 15 f + 30 s + 40 s = 1:30 + 16 frames -> 53 hundredths
             N("  Using PGC #0. Length: 00:01:30:53 in 6 cell(s)."),
             N("  000. VOB-ID: 01/CELL-ID: 01 - Len: 00:00:00:03 - TS: 00:00:00:00"),
             N("  001. VOB-ID: 01/CELL-ID: 02 - Len: 00:00:20:50 - TS: 00:00:00:03"),
             N("  002. VOB-ID: 02/CELL-ID: 01 - Len: 00:00:30:00 - TS: 00:00:20:53 (Angle 1/3)"),
             N("  003. VOB-ID: 03/CELL-ID: 01 - Len: 00:00:31:00 - TS: --:--:--:-- (Angle 2/3)"),
             N("  004. VOB-ID: 04/CELL-ID: 01 - Len: 00:00:32:00 - TS: --:--:--:-- (Angle 3/3)"),
             N("  005. VOB-ID: 05/CELL-ID: 01 - Len: 00:00:40:00 - TS: 00:00:50:53"),
             N(""),
             B("Cells links :"),
             N("000 -> 002 -> 005"),
             N(""),
             B("Total film length : 00:01:30:53"),
             N(""),
             N("Chapter 1 = 00:00:00:00"),
             N("Chapter 2 = 00:00:20:53"),
             N("Chapter 3 = 00:00:50:53")};
    ExpectReport(res.report, want);
}

TEST(LoadTitle, AngleBlockOfTwoAndAChapterStartingOnASecondAngle)
{
    TempDir dir;
    const std::string path = WriteImage(
        dir, IfoImage().pal().addPgc(Pgc()
                                         .cell(1, 1, 0, 0, 8, 0)
                                         .angleBlock({MakeCell(2, 1, 0, 0, 6, 0), MakeCell(2, 2, 0, 0, 7, 0)})
                                         .cell(3, 1, 0, 0, 9, 0)
                                         .programMap({1, 3, 4})));
    const LoadResult res = Load(path);
    ASSERT_TRUE(res.model.has_value());
    EXPECT_EQ(res.model->cellLengthsMs, (U{8000, 6000, 7000, 9000}));
    EXPECT_EQ(res.model->cellStartsMs, (U{0, 8000, 14000, 14000, 23000}));
    EXPECT_EQ(Column(res.rows, &CellRow::angle), (S{"", "01", "02", ""}));
    EXPECT_EQ(Column(res.rows, &CellRow::timestamp), (S{"00:00:00:00", "00:00:08:00", "-", "00:00:14:00"}));
    // Chapter 2 starts on the second angle: its time is that cell's entry of
    // the start times, 14 s (after the first angle), not the block's 8 s.
    EXPECT_EQ(res.model->chapterStartMs(1), 14000u);
    const std::string plain = res.report.plainText();
    EXPECT_NE(plain.find("  001. VOB-ID: 02/CELL-ID: 01 - Len: 00:00:06:00 - TS: 00:00:08:00 (Angle 1/2)\r\n"),
              std::string::npos);
    EXPECT_NE(plain.find("  002. VOB-ID: 02/CELL-ID: 02 - Len: 00:00:07:00 - TS: --:--:--:-- (Angle 2/2)\r\n"),
              std::string::npos);
    EXPECT_NE(plain.find("\r\nChapter 2 = 00:00:14:00\r\n"), std::string::npos);
}

TEST(LoadTitle, LinkLinesBreakAfterEveryTenEntries)
{
    TempDir dir;
    Pgc pgc;
    std::vector<uint8_t> map;
    for (int c = 0; c < 27; ++c) {
        pgc.cell(1, static_cast<uint8_t>(c + 1), 0, 0, 10, 0);
        if (c != 3 && c != 20)
            map.push_back(static_cast<uint8_t>(c + 1));
    }
    ASSERT_EQ(map.size(), 25u);
    pgc.programMap(map);
    const LoadResult res = Load(WriteImage(dir, IfoImage().pal().addPgc(pgc)));
    ASSERT_TRUE(res.model.has_value());
    EXPECT_EQ(res.model->chapterCount, 25u);

    // Entries minus one: 0 1 2 4 5 ... 10 | 11 ... 19 21 | 22 ... 26
    const std::string links = "000 -> 001 -> 002 -> 004 -> 005 -> 006 -> 007 -> 008 -> 009 -> 010 -> \r\n"
                              "011 -> 012 -> 013 -> 014 -> 015 -> 016 -> 017 -> 018 -> 019 -> 021 -> \r\n"
                              "022 -> 023 -> 024 -> 025 -> 026";
    EXPECT_NE(res.report.plainText().find("Cells links :\r\n" + links + "\r\n\r\nTotal film length : 00:04:30:00\r\n"),
              std::string::npos)
        << res.report.plainText();
    const auto& lines = res.report.lines();
    auto heading = std::find_if(lines.begin(), lines.end(), [](const ReportLine& l) { return l.text == "Cells links :"; });
    ASSERT_NE(heading, lines.end());
    EXPECT_EQ(heading->style, LineStyle::Bold);

    // Chapter 25 starts at cell 27 (row 026), 26 × 10 s in.
    EXPECT_EQ(res.model->chapterStartMs(24), 260000u);
    EXPECT_EQ(res.rows[2].linkedTo, "004");
    EXPECT_EQ(res.rows[3].chapter, "");
    EXPECT_EQ(res.rows[19].linkedTo, "021");
    EXPECT_EQ(res.rows[26].chapter, "25");
    EXPECT_EQ(res.rows[26].linkedTo, "");
    EXPECT_NE(res.report.plainText().find("\r\nChapter 25 = 00:04:20:00\r\n"), std::string::npos);
}

TEST(LoadTitle, OneProgramAndNoProgramMap)
{
    TempDir dir;
    const LoadResult one = Load(WriteImage(
        dir, IfoImage().pal().addPgc(Pgc().cell(1, 1, 0, 0, 20, 0).cell(1, 2, 0, 0, 3, 0).programMap({1}))));
    ASSERT_TRUE(one.model.has_value());
    EXPECT_EQ(Checks(one.rows), (Bools{true, false}));
    EXPECT_EQ(Column(one.rows, &CellRow::chapter), (S{"1", ""}));
    EXPECT_EQ(Column(one.rows, &CellRow::linkedTo), (S{"", ""}));
    EXPECT_EQ(one.model->chapterCount, 1u);
    EXPECT_EQ(one.chapterTotal, "1");
    const std::string tail = "Cells links :\r\n000\r\n\r\nTotal film length : 00:00:23:00\r\n\r\nChapter 1 = 00:00:00:00\r\n";
    const std::string plain = one.report.plainText();
    ASSERT_GE(plain.size(), tail.size());
    EXPECT_EQ(plain.substr(plain.size() - tail.size()), tail);

    // Without a program map nothing is checked and the report ends with the
    // total and a blank line.
    const LoadResult none = Load(WriteImage(
        dir, IfoImage().pal().addPgc(Pgc().cell(1, 1, 0, 0, 20, 0).cell(1, 2, 0, 0, 3, 0)), "none.IFO"));
    ASSERT_TRUE(none.model.has_value());
    EXPECT_EQ(Checks(none.rows), (Bools{false, false}));
    EXPECT_EQ(Column(none.rows, &CellRow::chapter), (S{"", ""}));
    EXPECT_EQ(none.model->chapterCount, 0u);
    EXPECT_TRUE(none.model->chapterStarts.empty());
    EXPECT_EQ(none.chapterTotal, "0");
    EXPECT_EQ(none.timeLength, "00:00:23:00");
    const auto& lines = none.report.lines();
    ASSERT_GE(lines.size(), 4u);
    const size_t n = lines.size();
    EXPECT_EQ(lines[n - 4].text, "  001. VOB-ID: 01/CELL-ID: 02 - Len: 00:00:03:00 - TS: 00:00:20:00");
    EXPECT_EQ(lines[n - 3].text, "");
    EXPECT_EQ(lines[n - 2].text, "Total film length : 00:00:23:00");
    EXPECT_EQ(lines[n - 2].style, LineStyle::Bold);
    // The blank line before the (absent) chapter lines ends the report.
    EXPECT_EQ(lines[n - 1].text, "");
    EXPECT_EQ(none.report.plainText().find("Cells links"), std::string::npos);
    EXPECT_EQ(none.report.plainText().find("Warning"), std::string::npos);
}

// The first cell of the last chapter against the 5 s floor.
struct LastChapterCase {
    const char* name;
    bool ntsc;
    uint8_t seconds, frames;
    bool fix;
    bool dropped;
};

TEST(LoadTitle, LastChapterRule)
{
    const LastChapterCase cases[] = {
        {"PAL 4 s 24 f = 4960 ms", false, 4, 24, true, true},
        {"PAL 5 s = 5000 ms", false, 5, 0, true, false},
        {"NTSC 4 s 29 f = 4967 ms", true, 4, 29, true, true},
        {"NTSC 4 s 30 f = 5001 ms", true, 4, 30, true, false},
        {"PAL 3 s, rule off", false, 3, 0, false, false},
    };
    for (const LastChapterCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        IfoImage image;
        if (c.ntsc)
            image.ntsc();
        image.addPgc(Pgc().cell(1, 1, 0, 1, 0, 0).cell(1, 2, 0, 0, c.seconds, c.frames).programMap({1, 2}));
        const LoadResult res = Load(WriteImage(dir, image), true, -1, c.fix);
        ASSERT_TRUE(res.model.has_value());
        EXPECT_EQ(res.model->chapterStarts, (U{1, 2}));  // the dropped entry stays
        EXPECT_EQ(res.model->chapterCount, c.dropped ? 1u : 2u);
        EXPECT_EQ(res.chapterTotal, c.dropped ? "1" : "2");
        EXPECT_EQ(Checks(res.rows), (Bools{true, !c.dropped}));
        EXPECT_EQ(res.rows[1].chapter, "2");
        EXPECT_EQ(res.rows[0].linkedTo, "001");

        const auto& lines = res.report.lines();
        ASSERT_GE(lines.size(), 2u);
        if (c.dropped) {
            EXPECT_EQ(lines.back().text, "Warning ! Last chapter length is less than 5 s and has been disabled.");
            EXPECT_EQ(lines.back().style, LineStyle::Red);
            EXPECT_EQ(lines[lines.size() - 2].text, "Chapter 2 = 00:01:00:00");
        } else {
            EXPECT_EQ(lines.back().text, "Chapter 2 = 00:01:00:00");
        }
        for (const ReportLine& l : lines)
            if (l.text.rfind("Warning", 0) != 0) {
                EXPECT_NE(l.style, LineStyle::Red) << l.text;
            }
    }
}

TEST(LoadTitle, ShortLastChapterIsDroppedEvenWithCellsAfterIt)
{
    TempDir dir;
    const std::string path = WriteImage(dir, IfoImage().pal().addPgc(Pgc()
                                                                         .cell(1, 1, 0, 1, 0, 0)
                                                                         .cell(1, 2, 0, 0, 4, 24)
                                                                         .cell(1, 3, 0, 0, 30, 0)
                                                                         .programMap({1, 2})));
    const LoadResult res = Load(path);
    ASSERT_TRUE(res.model.has_value());
    EXPECT_EQ(res.model->cellLengthsMs, (U{60000, 4960, 30000}));
    EXPECT_EQ(res.model->chapterCount, 1u);
    EXPECT_EQ(Checks(res.rows), (Bools{true, false, false}));
    EXPECT_EQ(res.timeLength, "00:01:34:96");
    const std::string tail = "Total film length : 00:01:34:96\r\n\r\nChapter 1 = 00:00:00:00\r\nChapter 2 = "
                             "00:01:00:00\r\nWarning ! Last chapter length is less than 5 s and has been disabled.\r\n";
    const std::string plain = res.report.plainText();
    ASSERT_GE(plain.size(), tail.size());
    EXPECT_EQ(plain.substr(plain.size() - tail.size()), tail);

    // One chapter only, and it is short: the title is left with none.
    const LoadResult only = Load(WriteImage(
        dir, IfoImage().pal().addPgc(Pgc().cell(1, 1, 0, 0, 3, 0).cell(1, 2, 0, 0, 6, 0).programMap({1})), "b.IFO"));
    ASSERT_TRUE(only.model.has_value());
    EXPECT_EQ(only.model->chapterCount, 0u);
    EXPECT_EQ(only.chapterTotal, "0");
    EXPECT_EQ(Checks(only.rows), (Bools{false, false}));
    EXPECT_EQ(only.rows[0].chapter, "1");
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
    EXPECT_NE(fresh.report.plainText().find("  Using PGC #1. Length: 00:20:00:20 in 2 cell(s).\r\n"),
              std::string::npos);

    // A PGC change keeps the chosen index.
    for (int keep : {0, 2}) {
        const LoadResult kept = Load(path, false, keep);
        EXPECT_EQ(kept.selectedTitle, keep);
        ASSERT_TRUE(kept.model.has_value());
        EXPECT_EQ(kept.model->cellLengthsMs.size(), 1u);
    }
    // A remembered index beyond the list, or none, falls back to the first PGC.
    for (int stale : {3, 40, -1}) {
        SCOPED_TRACE(stale);
        const LoadResult back = Load(path, false, stale);
        EXPECT_EQ(back.selectedTitle, 0);
        ASSERT_TRUE(back.model.has_value());
        EXPECT_EQ(back.model->cellLengthsMs, (U{600000}));
        EXPECT_NE(back.report.plainText().find("  Using PGC #0. "), std::string::npos);
        EXPECT_EQ(back.report.plainText().find("out of range"), std::string::npos);
    }
}

TEST(LoadTitle, TitleSetWithoutPgc)
{
    TempDir dir;
    const std::string path = WriteImage(dir, IfoImage().pal().addAudio("en", AudioFormat::Ac3, 2));
    for (bool newFile : {true, false}) {
        const LoadResult res = Load(path, newFile, 0);
        ASSERT_TRUE(res.titles.has_value());
        EXPECT_TRUE(res.titles->empty());
        EXPECT_EQ(res.selectedTitle, -1);
        EXPECT_EQ(res.frameRate, "25000");
        EXPECT_TRUE(res.rows.empty());
        EXPECT_FALSE(res.model.has_value());
        ASSERT_FALSE(res.report.lines().empty());
        EXPECT_EQ(res.report.lines().back().text, "Program Chain(s):");
        EXPECT_EQ(res.report.lines().back().style, LineStyle::Bold);
    }
}

TEST(LoadTitle, FailedOpenGivesOneLineAndKeepsTheModel)
{
    TempDir dir;
    WriteFile(dir.file("empty.IFO"), "");
    WriteFile(dir.file("noise.IFO"), RandomBytes(8192, 11));
    for (const std::string& path : {dir.file("missing.IFO"), dir.file("empty.IFO"), dir.file("noise.IFO")}) {
        SCOPED_TRACE(path);
        const LoadResult res = Load(path);
        ExpectReport(res.report, {N("error opening file " + path)});
        EXPECT_FALSE(res.model.has_value());
        EXPECT_TRUE(res.rows.empty());
        EXPECT_EQ(res.openAviEnabled, false);
        EXPECT_FALSE(res.titles.has_value());
        EXPECT_FALSE(res.frameRate.has_value());

        ChapterDocument doc;
        doc.model.cellLengthsMs = {1000};
        doc.model.cellStartsMs = {0, 1000};
        doc.model.chapterStarts = {1};
        doc.model.chapterCount = 1;
        doc.rows.resize(1);
        doc.timeLength = "00:00:01:00";
        doc.chapterTotal = "1";
        ApplyLoad(doc, res);
        EXPECT_TRUE(doc.rows.empty());
        EXPECT_EQ(doc.model.cellLengthsMs, (U{1000}));
        EXPECT_EQ(doc.model.chapterCount, 1u);
        EXPECT_EQ(doc.timeLength, "00:00:01:00");
        EXPECT_EQ(doc.chapterTotal, "1");
    }
}

// The menu file is a failed open like any other: the one error line.
TEST(LoadTitle, VideoManagerFileGivesTheOneErrorLine)
{
    TempDir dir;
    WriteFile(dir.file("VIDEO_TS.IFO"), VideoManagerBytes());
    for (const std::string& path : {dir.file("VIDEO_TS.IFO"), ExamplePath("VIDEO_TS.IFO")}) {
        const LoadResult res = Load(path);
        ExpectReport(res.report, {N("error opening file " + path)});
        EXPECT_FALSE(res.model.has_value());
        EXPECT_EQ(res.openAviEnabled, false);
    }
}

TEST(LoadTitle, ApplyLoadReplacesModelRowsAndLabels)
{
    TempDir dir;
    const LoadResult res = Load(WriteImage(dir, ThreePgcs()));
    ChapterDocument doc;
    doc.model.chapterCount = 7;
    ApplyLoad(doc, res);
    EXPECT_EQ(doc.rows.size(), 2u);
    EXPECT_EQ(doc.model.cellStartsMs, (U{0, 1200000, 1200200}));
    // The 200 ms last chapter falls to the last-chapter rule.
    EXPECT_EQ(doc.model.chapterStarts, (U{1, 2}));
    EXPECT_EQ(doc.model.chapterCount, 1u);
    EXPECT_EQ(doc.timeLength, "00:20:00:20");
    EXPECT_EQ(doc.chapterTotal, "1");
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
    EXPECT_EQ(Checks(res.rows), (Bools{true, true, true}));
    EXPECT_EQ(Column(res.rows, &CellRow::chapter), (S{"1", "2", "3"}));
    EXPECT_EQ(Column(res.rows, &CellRow::linkedTo), (S{"001", "002", ""}));
    EXPECT_NE(res.report.plainText().find("\r\nChapter 3 = 00:00:20:00\r\n"), std::string::npos);

    // A map longer than the cells, all past them, and one that names cell 255
    // of a single cell.
    for (const Pgc& pgc : {Pgc().cell(1, 1, 0, 0, 10, 0).cell(1, 2, 0, 0, 10, 0).programMap({1, 2, 3, 4, 5, 6}),
                           Pgc().cell(1, 1, 0, 0, 10, 0).programMap({0, 0, 0}),
                           Pgc().cell(1, 1, 0, 0, 10, 0).programMap({255}),
                           Pgc().programMap({1, 2})}) {
        const LoadResult odd = Load(WriteImage(dir, IfoImage().pal().addPgc(pgc), "odd.IFO"));
        ASSERT_TRUE(odd.model.has_value());
        const TitleModel& m = *odd.model;
        EXPECT_LE(m.chapterCount, m.chapterStarts.size());
        EXPECT_LE(m.chapterStarts.size(), m.cellLengthsMs.size());
        for (uint32_t s : m.chapterStarts) {
            EXPECT_GE(s, 1u);
            EXPECT_LE(s, m.cellLengthsMs.size());
        }
        EXPECT_EQ(odd.rows.size(), m.cellLengthsMs.size());
        EXPECT_EQ(m.cellStartsMs.size(), m.cellLengthsMs.size() + 1);
    }
}

TEST(LoadTitle, NoCellsAndTheMostCells)
{
    TempDir dir;
    const LoadResult empty = Load(WriteImage(dir, IfoImage().pal().addPgc(Pgc().time(0, 0, 0, 0))));
    ASSERT_TRUE(empty.model.has_value());
    EXPECT_TRUE(empty.rows.empty());
    EXPECT_TRUE(empty.model->cellLengthsMs.empty());
    EXPECT_EQ(empty.model->cellStartsMs, (U{0}));
    EXPECT_EQ(empty.model->chapterCount, 0u);
    EXPECT_EQ(empty.timeLength, "00:00:00:00");
    const std::string tail = "Program Chain(s):\r\n  Using PGC #0. Length: 00:00:00:00 in 0 cell(s).\r\n\r\n"
                             "Total film length : 00:00:00:00\r\n\r\n";
    const std::string plain = empty.report.plainText();
    ASSERT_GE(plain.size(), tail.size());
    EXPECT_EQ(plain.substr(plain.size() - tail.size()), tail);

    Pgc many;
    std::vector<uint8_t> map;
    for (int c = 0; c < 255; ++c) {
        many.cell(static_cast<uint16_t>(1 + c / 50), static_cast<uint8_t>(1 + c % 50), 0, 0, 4, 0);
        if (c % 5 == 0)
            map.push_back(static_cast<uint8_t>(c + 1));
    }
    many.programMap(map);
    const LoadResult big = Load(WriteImage(dir, IfoImage().pal().addPgc(many), "big.IFO"));
    ASSERT_TRUE(big.model.has_value());
    ASSERT_EQ(big.rows.size(), 255u);
    EXPECT_EQ(big.rows.back().caption, "254");
    EXPECT_EQ(big.rows.back().vobId, "06");
    EXPECT_EQ(big.rows.back().cellId, "05");
    EXPECT_EQ(big.model->cellStartsMs.back(), 1020000u);  // 255 × 4 s = 17 min
    EXPECT_EQ(big.timeLength, "00:17:00:00");
    // 51 programs; the last one's 4 s cell falls to the last-chapter rule.
    EXPECT_EQ(big.model->chapterStarts.size(), 51u);
    EXPECT_EQ(big.model->chapterCount, 50u);
    EXPECT_EQ(big.rows[250].chapter, "51");
    EXPECT_FALSE(big.rows[250].checked);
    EXPECT_EQ(big.rows[245].linkedTo, "250");
    EXPECT_NE(big.report.plainText().find("  254. VOB-ID: 06/CELL-ID: 05 - Len: 00:00:04:00 - TS: 00:16:56:00\r\n"),
              std::string::npos);
}

TEST(LoadTitle, DamagedFilesNeverCrashTheLoad)
{
    TempDir dir;
    const IfoImage base = ThreePgcs().addAudio("en", AudioFormat::Ac3, 2);
    const std::string full = base.bytes();
    for (size_t size = 0; size <= full.size(); size += 256) {
        WriteFile(dir.file("t.IFO"), full.substr(0, size));
        const LoadResult res = Load(dir.file("t.IFO"));
        ASSERT_FALSE(res.report.lines().empty());
        if (res.model) {
            EXPECT_EQ(res.model->cellStartsMs.size(), res.model->cellLengthsMs.size() + 1);
        }
    }
    for (uint32_t seed = 1; seed <= 30; ++seed) {
        std::string damaged = full;
        const std::string noise = RandomBytes(full.size(), seed);
        for (size_t i = 2048; i < damaged.size(); ++i)
            if ((noise[i] & 7) == 0)
                damaged[i] = noise[i];
        WriteFile(dir.file("d.IFO"), damaged);
        for (bool newFile : {true, false}) {
            const LoadResult res = Load(dir.file("d.IFO"), newFile, 2);
            if (res.model) {
                const TitleModel& m = *res.model;
                EXPECT_EQ(m.cellStartsMs.size(), m.cellLengthsMs.size() + 1);
                EXPECT_LE(m.chapterCount, m.chapterStarts.size());
                for (uint32_t s : m.chapterStarts)
                    EXPECT_TRUE(s >= 1 && s <= m.cellLengthsMs.size()) << s;
            }
        }
    }
}

TEST(FindLongestPgc, PicksTheFirstOfTheLongest)
{
    EXPECT_EQ(FindLongestPgc(nullptr), -1);

    TempDir dir;
    auto longest = [&](const IfoImage& image) {
        WriteImage(dir, image);
        auto r = IfoReader::Open(dir.file("VTS_01_0.IFO"));
        EXPECT_NE(r, nullptr);
        return r ? FindLongestPgc(r.get()) : -2;
    };
    EXPECT_EQ(longest(ThreePgcs()), 1);
    // Equal longest: the first of them.
    EXPECT_EQ(longest(IfoImage()
                          .addPgc(Pgc().time(0, 10, 0, 0))
                          .addPgc(Pgc().time(1, 0, 0, 0))
                          .addPgc(Pgc().time(1, 0, 0, 0))),
              1);
    EXPECT_EQ(longest(IfoImage().addPgc(Pgc().time(0, 0, 30, 0)).addPgc(Pgc().time(0, 0, 30, 0))), 0);
    // All zero, and none at all.
    EXPECT_EQ(longest(IfoImage().addPgc(Pgc()).addPgc(Pgc())), 0);
    EXPECT_EQ(longest(IfoImage()), 0);
    // Frames count as raw numbers: 7 frames beat 6 whatever the rate.
    EXPECT_EQ(longest(IfoImage().ntsc().addPgc(Pgc().time(0, 0, 9, 6)).addPgc(Pgc().time(0, 0, 9, 7))), 1);
    // Hours weigh most; the last of many.
    EXPECT_EQ(longest(IfoImage()
                          .addPgc(Pgc().time(0, 59, 59, 24))
                          .addPgc(Pgc().time(0, 1, 0, 0))
                          .addPgc(Pgc().time(1, 0, 0, 0))),
              2);
}

TEST(FrameConversion, MatchesTheFloatingPointRuleForEveryFrameCount)
{
    EXPECT_EQ(FramesToMs(12, 25000), 480u);
    EXPECT_EQ(FramesToHundredths(12, 25000), 48u);
    EXPECT_EQ(FramesToMs(1, 29970), 33u);
    EXPECT_EQ(FramesToHundredths(1, 29970), 3u);
    EXPECT_EQ(FramesToMs(15, 29970), 500u);
    EXPECT_EQ(FramesToHundredths(15, 29970), 50u);
    for (uint32_t rate : {25000u, 29970u}) {
        const double fps = rate * 0.001;
        for (uint32_t f = 0; f <= 255; ++f) {
            const double frameMs = f * (1.0 / fps) * 1000.0;
            EXPECT_EQ(FramesToMs(f, rate), static_cast<uint32_t>(std::trunc(frameMs))) << f << " @ " << rate;
            EXPECT_EQ(FramesToHundredths(f, rate), static_cast<uint32_t>(std::trunc(0.1 * frameMs)))
                << f << " @ " << rate;
        }
    }
}

}  // namespace
}  // namespace pelvano::test
