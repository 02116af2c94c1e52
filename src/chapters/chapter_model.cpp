#include "chapters/chapter_model.h"

#include "base/format.h"

namespace pelvano {

uint32_t TitleModel::chapterStartMs(size_t k) const
{
    if (k >= chapterStarts.size())
        return 0;
    const uint32_t cell = chapterStarts[k];
    if (cell == 0 || cell > cellStartsMs.size())
        return 0;
    return cellStartsMs[cell - 1];
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
    for (size_t i = 0; i < doc.rows.size(); ++i) {
        if (doc.rows[i].usedInTimestamps() && i < model.cellLengthsMs.size())
            total += model.cellLengthsMs[i];
        model.cellStartsMs.push_back(total);
    }
    for (size_t j = 0; j < doc.rows.size(); ++j) {
        if (doc.rows[j].usedInTimestamps())
            doc.rows[j].timestamp = FormatMsTime(model.cellStartsMs[j]);
    }
    doc.timeLength = FormatMsTime(total);
}

void MarkSelectedCells(ChapterDocument& doc, const std::vector<size_t>& selectedRows,
                       const std::string& mark, bool checked)
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
