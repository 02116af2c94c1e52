#include "chapters/chapter_model.h"

#include <algorithm>

#include "base/format.h"

namespace pelvano {

namespace {

// Entry chapterStarts[k] - 1 of a per-cell table, 0 when either is short.
uint32_t AtChapterStart(const TitleModel& model, const std::vector<uint32_t>& table, size_t k)
{
    if (k >= model.chapterStarts.size())
        return 0;
    const uint32_t cell = model.chapterStarts[k];
    if (cell == 0 || cell > table.size())
        return 0;
    return table[cell - 1];
}

uint32_t AtChapterEnd(const TitleModel& model, const std::vector<uint32_t>& table, size_t k)
{
    const size_t count = std::min<size_t>(model.chapterCount, model.chapterStarts.size());
    if (k + 1 < count)
        return AtChapterStart(model, table, k + 1);
    return table.empty() ? 0 : table.back();
}

}  // namespace

uint32_t TitleModel::chapterStartMs(size_t k) const
{
    return AtChapterStart(*this, cellStartsMs, k);
}

uint32_t TitleModel::chapterEndMs(size_t k) const
{
    return AtChapterEnd(*this, cellStartsMs, k);
}

uint32_t TitleModel::chapterStartTicks(size_t k) const
{
    return AtChapterStart(*this, cellStartTicks, k);
}

uint32_t TitleModel::chapterEndTicks(size_t k) const
{
    return AtChapterEnd(*this, cellStartTicks, k);
}

uint32_t ClockTicksToMs(uint64_t ticks, const ExactClock& clock)
{
    const uint64_t perMs = uint64_t{clock.den};
    return static_cast<uint32_t>((ticks * clock.num * 1000 + perMs - 1) / perMs);
}

uint32_t NtscFramesToMs(uint64_t frames)
{
    return ClockTicksToMs(frames, kNtscFrameClock);
}

std::string FormatMsTime(uint32_t ms)
{
    const uint32_t hours = ms / 3600000;
    uint32_t rest = ms - hours * 3600000;
    const uint32_t minutes = rest / 60000;
    rest -= minutes * 60000;
    const uint32_t seconds = rest / 1000;
    rest -= seconds * 1000;
    std::string text;
    text.reserve(11);
    AppendZeroPadded(text, hours, 2);
    text += ':';
    AppendZeroPadded(text, minutes, 2);
    text += ':';
    AppendZeroPadded(text, seconds, 2);
    text += ':';
    AppendZeroPadded(text, rest / 10, 2);
    return text;
}

void RebuildChapters(ChapterDocument& doc)
{
    TitleModel& model = doc.model;
    model.chapterStarts.clear();
    for (size_t i = 0; i < doc.rows.size(); ++i) {
        if (doc.rows[i].checked)
            model.chapterStarts.push_back(static_cast<uint32_t>(i + 1));
    }
    model.chapterCount = static_cast<uint32_t>(model.chapterStarts.size());
    doc.chapterTotal = std::to_string(model.chapterCount);

    for (CellRow& row : doc.rows) {
        row.linkedTo.clear();
        row.chapter.clear();
    }
    for (size_t k = 0; k < model.chapterCount; ++k) {
        CellRow& first = doc.rows[model.chapterStarts[k] - 1];
        if (k + 1 < model.chapterCount)
            first.linkedTo = ZeroPadded(model.chapterStarts[k + 1] - 1, 3);
        first.chapter = std::to_string(k + 1);
    }
}

void RebuildTimestamps(ChapterDocument& doc)
{
    TitleModel& model = doc.model;
    model.cellStartsMs.assign(1, 0);
    uint32_t total = 0;
    if (model.exactClock) {
        // Summed in ticks and converted once per cell: no rounding adds up.
        model.cellStartTicks.assign(1, 0);
        uint32_t ticks = 0;
        for (size_t i = 0; i < doc.rows.size(); ++i) {
            if (doc.rows[i].usedInTimestamps() && i < model.cellTicks.size())
                ticks += model.cellTicks[i];
            model.cellStartTicks.push_back(ticks);
            model.cellStartsMs.push_back(ClockTicksToMs(ticks, *model.exactClock));
        }
        total = model.cellStartsMs.back();
    } else {
        for (size_t i = 0; i < doc.rows.size(); ++i) {
            if (doc.rows[i].usedInTimestamps() && i < model.cellLengthsMs.size())
                total += model.cellLengthsMs[i];
            model.cellStartsMs.push_back(total);
        }
    }
    for (size_t j = 0; j < doc.rows.size(); ++j) {
        if (doc.rows[j].usedInTimestamps())
            doc.rows[j].timestamp = FormatMsTime(model.cellStartsMs[j]);
    }
    doc.timeLength = FormatMsTime(total);
}

bool CarryMarksOver(ChapterDocument& doc, const std::vector<CellRow>& previous)
{
    if (previous.size() != doc.rows.size())
        return false;
    bool differ = false;
    for (size_t i = 0; i < previous.size(); ++i) {
        differ |= previous[i].checked != doc.rows[i].checked ||
                  previous[i].usedInTimestamps() != doc.rows[i].usedInTimestamps();
    }
    if (!differ)
        return false;
    for (size_t i = 0; i < previous.size(); ++i) {
        CellRow& row = doc.rows[i];
        row.checked = previous[i].checked;
        // The Timestamp text is the mark; RebuildTimestamps writes the time.
        if (previous[i].usedInTimestamps() != row.usedInTimestamps())
            row.timestamp = previous[i].timestamp;
    }
    RebuildChapters(doc);
    RebuildTimestamps(doc);
    return true;
}

void MarkSelectedCells(ChapterDocument& doc, const std::vector<size_t>& selectedRows, const std::string& mark,
                       bool checked)
{
    for (size_t i : selectedRows) {
        if (i >= doc.rows.size())
            continue;
        if (mark == "0")
            doc.rows[i].checked = checked;
        else
            doc.rows[i].timestamp = mark;
    }
}

}  // namespace pelvano
