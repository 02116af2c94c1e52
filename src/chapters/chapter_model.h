#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelvano {

// One row of the cell table. The check mark is the chapter start mark; the
// Timestamp text is the timestamp mark ("-" exactly means "not used").
struct CellRow {
    bool checked = false;
    std::string caption;  // "#"
    std::string vobId;
    std::string cellId;
    std::string length;
    std::string timestamp;
    std::string angle;
    std::string linkedTo;
    std::string chapter;

    bool usedInTimestamps() const { return timestamp != kUnusedMark; }
    static constexpr const char* kUnusedMark = "-";
};

// A clock whose whole counts give a title's times exactly: num/den seconds
// a tick.
struct ExactClock {
    uint32_t num = 1;
    uint32_t den = 1;
    // The frame within the second (%ff, %eff) from the exact position too,
    // not only the frame number. Exact NTSC time has always taken it from
    // the rounded-up millisecond, and chapter files made so keep their bytes.
    bool exactFrameInSecond = true;
};
// An NTSC title's frames as the IFO counts them, 30 a second on the disc.
inline constexpr ExactClock kNtscFrameClock{1001, 30000, false};
// A Blu-ray playlist's 45 kHz clock.
inline constexpr ExactClock kPlaylistClock{1, 45000, true};

// Times in milliseconds. The time of chapter k is
// cellStartsMs[chapterStarts[k] - 1]; only the first chapterCount entries of
// chapterStarts are in use.
struct TitleModel {
    std::vector<uint32_t> cellLengthsMs;
    std::vector<uint32_t> cellStartsMs;
    std::vector<uint32_t> chapterStarts;  // 1-based cell numbers
    uint32_t chapterCount = 0;

    // Exact time: the cells are counted in ticks of a clock (an NTSC title's
    // frames, a playlist's 45 kHz ticks) and every time is ClockTicksToMs of
    // a count, so that rounding never adds up from cell to cell and frame
    // numbers come from the exact position. cellTicks has one entry per
    // cell, cellStartTicks mirrors cellStartsMs. None: times in ms only.
    std::optional<ExactClock> exactClock;
    std::vector<uint32_t> cellTicks;
    std::vector<uint32_t> cellStartTicks;

    // Start time of chapter k, or 0 when the model does not hold it (never
    // reads outside the tables).
    uint32_t chapterStartMs(size_t k) const;
    // End of chapter k of the first chapterCount: the next chapter's start,
    // for the last one the total of the cells that count.
    uint32_t chapterEndMs(size_t k) const;
    // The same positions in ticks of the exact clock (0 when not held).
    uint32_t chapterStartTicks(size_t k) const;
    uint32_t chapterEndTicks(size_t k) const;
};

// ticks x num/den s in ms, rounded up: a time never falls before its frame.
uint32_t ClockTicksToMs(uint64_t ticks, const ExactClock& clock);
// frames x 1001/30 ms rounded up.
uint32_t NtscFramesToMs(uint64_t frames);

// The cell table with the model it feeds and the two footer texts.
struct ChapterDocument {
    std::vector<CellRow> rows;
    TitleModel model;
    std::string timeLength = "00:00:00:00";  // lbLstTimeLen
    std::string chapterTotal = "0";          // lbLstNbsChapter
};

// "%02d:%02d:%02d:%02d" of hours, minutes, seconds, hundredths; hours are
// not wrapped.
std::string FormatMsTime(uint32_t ms);

// Recompute chapterStarts, chapterCount, the chapter label and the
// Linked to / Chapter cells from the check marks.
void RebuildChapters(ChapterDocument& doc);

// Recompute cellStartsMs, the Timestamp cells of used rows and the length
// label from the timestamp marks.
void RebuildTimestamps(ChapterDocument& doc);

// After the same title was read again (another time base): puts back the
// chapter and timestamp marks of `previous` when it has the same number of
// rows and its marks differ, and rebuilds from them. Returns whether it did.
bool CarryMarksOver(ChapterDocument& doc, const std::vector<CellRow>& previous);

// For every selected row (indexes into doc.rows): mark "0" sets the check
// mark to `checked`, any other mark replaces the Timestamp text.
void MarkSelectedCells(ChapterDocument& doc, const std::vector<size_t>& selectedRows, const std::string& mark,
                       bool checked);

}  // namespace pelvano
