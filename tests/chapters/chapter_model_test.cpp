#include "chapters/chapter_model.h"

#include <gtest/gtest.h>

namespace pelvano {
namespace {

ChapterDocument MakeDocument(const std::vector<uint32_t>& lengths)
{
    ChapterDocument doc;
    doc.model.cellLengthsMs = lengths;
    for (size_t i = 0; i < lengths.size(); ++i) {
        CellRow row;
        row.timestamp = "x";
        doc.rows.push_back(row);
    }
    RebuildTimestamps(doc);
    return doc;
}

void Check(ChapterDocument& doc, std::initializer_list<size_t> rows)
{
    for (size_t r : rows)
        doc.rows[r].checked = true;
    RebuildChapters(doc);
}

TEST(FormatMsTime, TruncatesEachField)
{
    EXPECT_EQ(FormatMsTime(0), "00:00:00:00");
    EXPECT_EQ(FormatMsTime(3723456), "01:02:03:45");  // 1 h 2 min 3 s 456 ms
    EXPECT_EQ(FormatMsTime(99 * 3600000u + 59 * 60000u + 59 * 1000u + 999u), "99:59:59:99");
    EXPECT_EQ(FormatMsTime(1999), "00:00:01:99");
}

TEST(FormatMsTime, HoursAreNotWrapped)
{
    // Past 127 hours a signed byte would wrap; the count goes on instead.
    EXPECT_EQ(FormatMsTime(100u * 3600000u), "100:00:00:00");
    EXPECT_EQ(FormatMsTime(130u * 3600000u + 1000u), "130:00:01:00");
    EXPECT_EQ(FormatMsTime(UINT32_MAX), "1193:02:47:29");
}

TEST(RebuildChapters, NothingChecked)
{
    ChapterDocument doc = MakeDocument({1000, 1000, 1000});
    doc.rows[1].linkedTo = "stale";
    doc.rows[2].chapter = "9";
    RebuildChapters(doc);
    EXPECT_TRUE(doc.model.chapterStarts.empty());
    EXPECT_EQ(doc.model.chapterCount, 0u);
    EXPECT_EQ(doc.chapterTotal, "0");
    for (const CellRow& row : doc.rows) {
        EXPECT_EQ(row.linkedTo, "");
        EXPECT_EQ(row.chapter, "");
    }
}

TEST(RebuildChapters, OneCheckedRowHasNoLink)
{
    ChapterDocument doc = MakeDocument(std::vector<uint32_t>(8, 500));
    Check(doc, {5});
    EXPECT_EQ(doc.model.chapterStarts, (std::vector<uint32_t>{6}));
    EXPECT_EQ(doc.rows[5].chapter, "1");
    EXPECT_EQ(doc.rows[5].linkedTo, "");
    for (size_t i = 0; i < doc.rows.size(); ++i) {
        if (i != 5) {
            EXPECT_EQ(doc.rows[i].chapter, "") << i;
            EXPECT_EQ(doc.rows[i].linkedTo, "") << i;
        }
    }
}

TEST(RebuildChapters, LinksPointAtTheNextChaptersRow)
{
    ChapterDocument doc = MakeDocument(std::vector<uint32_t>(9, 500));
    Check(doc, {0, 3, 7});
    EXPECT_EQ(doc.model.chapterStarts, (std::vector<uint32_t>{1, 4, 8}));
    EXPECT_EQ(doc.model.chapterCount, 3u);
    EXPECT_EQ(doc.chapterTotal, "3");
    EXPECT_EQ(doc.rows[0].linkedTo, "003");
    EXPECT_EQ(doc.rows[0].chapter, "1");
    EXPECT_EQ(doc.rows[3].linkedTo, "007");
    EXPECT_EQ(doc.rows[3].chapter, "2");
    EXPECT_EQ(doc.rows[7].linkedTo, "");
    EXPECT_EQ(doc.rows[7].chapter, "3");
}

TEST(RebuildChapters, CheckingARowRenumbersTheRowsAfterIt)
{
    ChapterDocument doc = MakeDocument(std::vector<uint32_t>(8, 500));
    Check(doc, {0, 2, 6});
    ASSERT_EQ(doc.rows[6].chapter, "3");
    Check(doc, {4});
    EXPECT_EQ(doc.chapterTotal, "4");
    EXPECT_EQ(doc.rows[2].linkedTo, "004");
    EXPECT_EQ(doc.rows[4].chapter, "3");
    EXPECT_EQ(doc.rows[6].chapter, "4");
    // Chapter times follow the new starts.
    EXPECT_EQ(doc.model.chapterStartMs(2), 2000u);
}

TEST(RebuildTimestamps, UnusedRowKeepsItsMarkAndAddsNothing)
{
    ChapterDocument doc = MakeDocument({1000, 4000, 2500});
    MarkSelectedCells(doc, {1}, "-", false);
    RebuildTimestamps(doc);
    EXPECT_EQ(doc.model.cellStartsMs, (std::vector<uint32_t>{0, 1000, 1000, 3500}));
    EXPECT_EQ(doc.rows[0].timestamp, "00:00:00:00");
    EXPECT_EQ(doc.rows[1].timestamp, "-");
    EXPECT_EQ(doc.rows[2].timestamp, "00:00:01:00");
    EXPECT_EQ(doc.timeLength, "00:00:03:50");
    // The real length is kept, so using the row again restores its share.
    EXPECT_EQ(doc.model.cellLengthsMs[1], 4000u);
    MarkSelectedCells(doc, {1}, "x", false);
    RebuildTimestamps(doc);
    EXPECT_EQ(doc.model.cellStartsMs, (std::vector<uint32_t>{0, 1000, 5000, 7500}));
    EXPECT_EQ(doc.rows[1].timestamp, "00:00:01:00");
}

TEST(RebuildTimestamps, AllRowsUnused)
{
    ChapterDocument doc = MakeDocument({1000, 2000});
    MarkSelectedCells(doc, {0, 1}, "-", false);
    RebuildTimestamps(doc);
    EXPECT_EQ(doc.model.cellStartsMs, (std::vector<uint32_t>{0, 0, 0}));
    EXPECT_EQ(doc.rows[0].timestamp, "-");
    EXPECT_EQ(doc.rows[1].timestamp, "-");
    EXPECT_EQ(doc.timeLength, "00:00:00:00");
}

TEST(RebuildTimestamps, TwoUnusedRowsMoveLaterRowsEarlier)
{
    // Rows 2 and 5 taken out: rows 3-4 move by row 2's length, rows after 5 by both.
    ChapterDocument doc = MakeDocument({1000, 1100, 1200, 1300, 1400, 1500, 1600});
    const std::vector<uint32_t> before = doc.model.cellStartsMs;
    MarkSelectedCells(doc, {2, 5}, "-", false);
    RebuildTimestamps(doc);
    EXPECT_EQ(doc.model.cellStartsMs[3], before[3] - 1200);
    EXPECT_EQ(doc.model.cellStartsMs[4], before[4] - 1200);
    EXPECT_EQ(doc.model.cellStartsMs[6], before[6] - 1200 - 1500);
    EXPECT_EQ(doc.model.cellStartsMs[7], before[7] - 1200 - 1500);
    EXPECT_EQ(doc.timeLength, FormatMsTime(1000 + 1100 + 1300 + 1400 + 1600));
}

TEST(RebuildTimestamps, UsingAnUsedRowAgainChangesNoTime)
{
    ChapterDocument doc = MakeDocument({1000, 2000, 3000});
    const std::vector<uint32_t> before = doc.model.cellStartsMs;
    MarkSelectedCells(doc, {0, 1, 2}, "x", false);
    RebuildTimestamps(doc);
    EXPECT_EQ(doc.model.cellStartsMs, before);
    EXPECT_EQ(doc.rows[2].timestamp, "00:00:03:00");
}

TEST(RebuildTimestamps, ChapterOnAnUnusedRowStillHasATime)
{
    ChapterDocument doc = MakeDocument({1000, 2000, 3000});
    MarkSelectedCells(doc, {1}, "-", false);
    RebuildTimestamps(doc);
    Check(doc, {0, 1});
    EXPECT_EQ(doc.model.chapterStartMs(1), 1000u);
}

TEST(RebuildTimestamps, EmptyList)
{
    ChapterDocument doc;
    RebuildTimestamps(doc);
    RebuildChapters(doc);
    EXPECT_EQ(doc.model.cellStartsMs, (std::vector<uint32_t>{0}));
    EXPECT_EQ(doc.timeLength, "00:00:00:00");
    EXPECT_EQ(doc.chapterTotal, "0");
}

TEST(MarkSelectedCells, CheckMarkerNeverReachesACell)
{
    ChapterDocument doc = MakeDocument({1000, 2000, 3000});
    MarkSelectedCells(doc, {0, 2}, "0", true);
    EXPECT_TRUE(doc.rows[0].checked);
    EXPECT_FALSE(doc.rows[1].checked);
    EXPECT_TRUE(doc.rows[2].checked);
    EXPECT_EQ(doc.rows[0].timestamp, "00:00:00:00");
    MarkSelectedCells(doc, {2}, "0", false);
    EXPECT_FALSE(doc.rows[2].checked);
}

TEST(MarkSelectedCells, NoSelectionAndStaleIndexesChangeNothing)
{
    ChapterDocument doc = MakeDocument({1000, 2000});
    MarkSelectedCells(doc, {}, "-", false);
    MarkSelectedCells(doc, {7}, "-", false);
    EXPECT_EQ(doc.rows[0].timestamp, "00:00:00:00");
    EXPECT_EQ(doc.rows[1].timestamp, "00:00:01:00");
}

TEST(TitleModel, ChapterStartNeverReadsOutsideTheTables)
{
    TitleModel model;
    model.cellStartsMs = {0, 1000, 3000};
    model.chapterStarts = {0, 2, 3, 4, 200};
    model.chapterCount = 9;
    EXPECT_EQ(model.chapterStartMs(0), 0u);
    EXPECT_EQ(model.chapterStartMs(1), 1000u);
    EXPECT_EQ(model.chapterStartMs(2), 3000u);
    EXPECT_EQ(model.chapterStartMs(3), 0u);
    EXPECT_EQ(model.chapterStartMs(4), 0u);
    EXPECT_EQ(model.chapterStartMs(8), 0u);
}

// Exact NTSC time: starts come from the frames before them (1001/30 ms each,
// rounded up once), never from a sum of rounded lengths. Cells of 165, 285
// and 375 frames (5:15, 9:15, 12:15 at 30 a second) last 5505.5, 9509.5 and
// 12512.5 ms.
TEST(RebuildTimestamps, ExactNtscTimeCountsFramesSoRoundingNeverAddsUp)
{
    ChapterDocument doc = MakeDocument({5506, 9510, 12513});
    doc.model.exactClock = kNtscFrameClock;
    doc.model.cellTicks = {165, 285, 375};
    RebuildTimestamps(doc);
    // 5505.5 -> 5506, 450 frames are 15015 exactly, 825 frames 27527.5 -> 27528.
    EXPECT_EQ(doc.model.cellStartsMs, (std::vector<uint32_t>{0, 5506, 15015, 27528}));
    EXPECT_EQ(doc.model.cellStartTicks, (std::vector<uint32_t>{0, 165, 450, 825}));
    EXPECT_EQ(doc.rows[2].timestamp, "00:00:15:01");
    EXPECT_EQ(doc.timeLength, "00:00:27:52");

    MarkSelectedCells(doc, {1}, "-", false);
    RebuildTimestamps(doc);
    EXPECT_EQ(doc.model.cellStartsMs, (std::vector<uint32_t>{0, 5506, 5506, 18018}));
    EXPECT_EQ(doc.rows[1].timestamp, "-");
}

TEST(CarryMarksOver, PutsBackMarksThatDifferOnTheSameCells)
{
    ChapterDocument fresh = MakeDocument({1000, 4000, 2500});
    Check(fresh, {0, 2});
    ChapterDocument edited = fresh;
    MarkSelectedCells(edited, {1}, "-", false);
    MarkSelectedCells(edited, {0, 1}, "0", true);
    MarkSelectedCells(edited, {2}, "0", false);

    ChapterDocument doc = fresh;
    EXPECT_FALSE(CarryMarksOver(doc, fresh.rows));
    EXPECT_FALSE(CarryMarksOver(doc, std::vector<CellRow>(2)));
    EXPECT_EQ(doc.model.chapterStarts, fresh.model.chapterStarts);
    EXPECT_TRUE(CarryMarksOver(doc, edited.rows));
    EXPECT_EQ(doc.model.chapterStarts, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(doc.model.cellStartsMs, (std::vector<uint32_t>{0, 1000, 1000, 3500}));
    EXPECT_EQ(doc.rows[1].timestamp, "-");
    EXPECT_EQ(doc.chapterTotal, "2");
}

TEST(TitleModel, ChapterEndIsTheNextStartAndTheTotalForTheLast)
{
    TitleModel model;
    model.cellStartsMs = {0, 1000, 2500, 4000, 4100};
    model.chapterStarts = {1, 3, 4};
    model.chapterCount = 2;  // the short last chapter was dropped
    EXPECT_EQ(model.chapterEndMs(0), 2500u);
    EXPECT_EQ(model.chapterEndMs(1), 4100u);
    model.chapterCount = 3;
    EXPECT_EQ(model.chapterEndMs(1), 4000u);
    EXPECT_EQ(model.chapterEndMs(2), 4100u);
    EXPECT_EQ(TitleModel().chapterEndMs(0), 0u);
}

}  // namespace
}  // namespace pelvano
