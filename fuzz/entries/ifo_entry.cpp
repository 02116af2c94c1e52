#include "fuzz_entries.h"

#include <algorithm>

#include "base/error.h"
#include "chapters/chapter_model.h"
#include "chapters/title_loader.h"
#include "fuzz_support.h"
#include "ifo/ifo_precheck.h"
#include "ifo/title_set.h"
#include "ifo/title_table.h"
#include "output/format_engine.h"

namespace pelvano::fuzz {

namespace {

bool EndsWithCrLf(const std::string& text)
{
    return text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
}

// What any load must leave, however broken the file.
void CheckLoad(const LoadResult& r, const std::string& path)
{
    const std::vector<ReportLine>& lines = r.report.lines();
    FUZZ_CHECK(!lines.empty());
    const std::string text = r.report.plainText();
    FUZZ_CHECK(EndsWithCrLf(text));

    if (!r.titles) {
        // The file did not open: the error line and nothing else happened.
        FUZZ_CHECK_MSG(lines[0].text == "error opening file " + path, lines[0].text);
        FUZZ_CHECK(lines.size() <= 2);
        FUZZ_CHECK(r.failure.has_value());
        FUZZ_CHECK(r.rows.empty() && !r.model && !r.frameRate);
        return;
    }

    FUZZ_CHECK_MSG(lines[0].text == "Opening IFO file " + path + " OK.", lines[0].text);
    const std::vector<std::string>& titles = *r.titles;
    for (size_t i = 0; i < titles.size(); ++i)
        FUZZ_CHECK(titles[i] == std::to_string(i + 1));
    FUZZ_CHECK(r.selectedTitle >= -1 && r.selectedTitle < static_cast<int>(titles.size()));
    FUZZ_CHECK(titles.empty() == (r.selectedTitle == -1));
    FUZZ_CHECK(r.frameRate == std::optional<std::string>("25000") ||
               r.frameRate == std::optional<std::string>("29970"));

    if (!r.model) {
        FUZZ_CHECK(r.rows.empty());
        FUZZ_CHECK(!r.failure);
        return;
    }
    const TitleModel& m = *r.model;
    FUZZ_CHECK(!r.failure);
    FUZZ_CHECK(m.cellLengthsMs.size() == r.rows.size());
    FUZZ_CHECK(m.cellStartsMs.size() == r.rows.size() + 1);
    FUZZ_CHECK(m.cellStartsMs[0] == 0);
    FUZZ_CHECK(m.chapterCount <= m.chapterStarts.size());
    FUZZ_CHECK(r.chapterTotal == std::to_string(m.chapterCount));
    FUZZ_CHECK(r.timeLength == FormatMsTime(m.cellStartsMs.back()));
    // Row 0 is chapter 1 and the other marks come from the program map. A
    // damaged map (not starting at 1, repeated entries) may leave marks and
    // model apart until the next rebuild, but no mark lies elsewhere.
    for (uint32_t cell : m.chapterStarts)
        FUZZ_CHECK_MSG(cell >= 1 && cell <= r.rows.size(), "chapter start names no row");
    for (size_t i = 0; i < r.rows.size(); ++i) {
        if (r.rows[i].checked && i != 0)
            FUZZ_CHECK(std::find(m.chapterStarts.begin(), m.chapterStarts.end(), i + 1) !=
                       m.chapterStarts.end());
    }
}

// The parsers on the bytes themselves: a refusal is the check's reason,
// and what they accept holds no more than the bytes have room for.
std::optional<size_t> CheckParsers(std::string_view bytes)
{
    try {
        FUZZ_CHECK(ParseTitleTable(bytes).size() * 12 + 8 <= bytes.size());
    } catch (const Error& e) {
        FUZZ_CHECK_MSG(CheckTitleTable(bytes) == std::optional<std::string>(e.what()), e.what());
    }
    try {
        const TitleSet set = ParseTitleSet(bytes);
        FUZZ_CHECK(set.audio.size() <= 8 && set.subPictures.size() <= 32);
        FUZZ_CHECK(set.pgcs.size() * 8 + 8 <= bytes.size());
        size_t parts = 0;
        for (const std::vector<PartOfTitle>& title : set.titleParts)
            parts += title.size();
        FUZZ_CHECK(parts * 4 <= bytes.size());
        for (const Pgc& pgc : set.pgcs) {
            FUZZ_CHECK(pgc.cells.size() <= 255 && pgc.programMap.size() <= 255);
            for (const IfoCell& cell : pgc.cells)  // position 1..cells in the block
                FUZZ_CHECK((cell.angle & 15) >= 1 && (cell.angle & 15) <= cell.angle >> 4);
        }
        return set.pgcs.size();
    } catch (const Error& e) {
        FUZZ_CHECK_MSG(CheckIfoTables(bytes) == std::optional<std::string>(e.what()), e.what());
        return std::nullopt;
    }
}

}  // namespace

void IfoInput(const uint8_t* data, size_t size)
{
    const std::optional<size_t> pgcs =
        CheckParsers(std::string_view(reinterpret_cast<const char*>(data), size));

    const std::string path = ScratchFile("VTS_01_0.IFO");
    WriteBytes(path, data, size);

    const SourceOpening opening = OpenForLoad(path, true);
    const LoadResult first =
        opening.source ? LoadTitle(*opening.source, opening.source->defaultTitleSet(), LoadRequest())
                       : opening.failure;
    CheckLoad(first, path);
    // The file holding the bytes loads as the bytes parse.
    FUZZ_CHECK(first.titles.has_value() == pgcs.has_value());
    FUZZ_CHECK(!pgcs || first.titles->size() == *pgcs);

    // Another PGC, as picking one in the title list would load it.
    if (first.titles && first.titles->size() > 1) {
        LoadRequest again;
        again.newFile = false;
        again.currentTitle = static_cast<int>((size_t{data[size - 1]} * 257 + size) % first.titles->size());
        again.fixLastChapter = (data[0] & 1) != 0;
        const LoadResult other = LoadTitle(*opening.source, opening.source->defaultTitleSet(), again);
        CheckLoad(other, path);
        FUZZ_CHECK(other.selectedTitle == again.currentTitle);
    }

    // The window's next steps on what was loaded: the marks rebuilt and the
    // chapter list rendered with every placeholder.
    ChapterDocument doc;
    ApplyLoad(doc, first);
    RebuildChapters(doc);
    RebuildTimestamps(doc);
    const RenderInput input{"%hh:%mm:%ss:%cc|%ff|%f|%ms|%c/%C\\n", "Chapters\\n",
                            first.frameRate.value_or("25000"), "0", "0"};
    const RenderOutput out = RenderChapters(doc.model, input);
    FUZZ_CHECK(EndsWithCrLf(out.text));
}

}  // namespace pelvano::fuzz
