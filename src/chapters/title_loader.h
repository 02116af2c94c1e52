#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "chapters/chapter_model.h"
#include "chapters/report.h"
#include "chapters/source.h"
#include "ifo/title_set.h"

namespace pelvano {

// What one title load changes in the window. Fields that a failed load
// leaves alone are empty optionals.
struct LoadResult {
    Report report;              // always replaced
    std::vector<CellRow> rows;  // always replaced (empty on failure)
    // Set when the source or its title set could not be read: the report
    // then says why, and no title is there to work on.
    std::optional<Error> failure;
    std::optional<std::vector<std::string>> titles;  // cbTitle items
    int selectedTitle = -1;                          // cbTitle selection when titles is set
    std::optional<std::string> frameRate;            // cbFrameRate text
    // Set when a PGC was read: the model and the two footer texts.
    std::optional<TitleModel> model;
    std::string timeLength;
    std::string chapterTotal;
};

struct LoadRequest {
    bool newFile = true;         // pick the longest PGC
    int currentTitle = -1;       // cbTitle's selection before the load
    bool fixLastChapter = true;  // chkFixLCB
    // chkExactNTSC: an NTSC title's times are its frame counts x 1001/30 ms
    // (rounded up) instead of nominal seconds; PAL titles are not touched.
    bool exactNtsc = false;
    // False for a caller that writes only the chapter list: the report is
    // then left empty (and not worked out); everything else is the same.
    bool withReport = true;
};

// Loads title set `titleSet` of `source` as if its IFO file had been opened.
LoadResult LoadTitle(const Source& source, int titleSet, const LoadRequest& request);

// A source opened for a title load: the source, or the load that shows why
// it did not open. An IFO file reports as it always has ("error opening file"
// and the reason); other sources in one line naming them and the reason.
struct SourceOpening {
    std::optional<Source> source;
    LoadResult failure;
};
// `ifoFileOnly`: read `path` as an IFO file whatever it is (the
// three-argument form); otherwise as what it is. `folder`: see Source::Open.
SourceOpening OpenForLoad(const std::string& path, bool ifoFileOnly = false, const std::string& folder = {});

// Index of the longest PGC (first of equals; 0 when all are 0 or there is
// none).
int FindLongestPgc(const TitleSet& set);

// A cell's or PGC's length in ms as a load converts it.
uint32_t TimeToMs(const IfoTime& t, uint32_t rateMilli);
// The key the longest-PGC search compares (raw frame count, not converted).
int32_t PgcLengthKey(const IfoTime& t);
// 25000 (PAL) or 29970 (NTSC) from the title set's video standard.
uint32_t DefaultFrameRate(const TitleSet& set);
// Chapter lines a load of PGC `pgc` gives with the default marks: the usable
// program-map entries, less the last one under the last-chapter rule.
uint32_t DefaultChapterCount(const Pgc& pgc, uint32_t rateMilli);

// A chapter that starts in the last chapter's first cell (or row) and lasts
// less than this is no chapter (the last-chapter rule).
inline constexpr uint32_t kLastChapterMinMs = 5000;
// The last-chapter rule on a load: a last chapter whose first row is
// shorter than kLastChapterMinMs is unticked and said so in the report.
void DropShortLastChapter(std::vector<CellRow>& rows, TitleModel& model, Report& report);

// The load that shows why a source, title set or playlist did not open:
// `line`, and the reason as a sentence of its own when `withReason`.
LoadResult FailedLoad(std::string line, const Error& error, bool withReason);

// Applies a load to a document: rows always, model and labels when read. A
// source that did not open leaves an empty document: nothing of the one
// before may be saved as if it were the new one.
void ApplyLoad(ChapterDocument& doc, const LoadResult& result);

// Milliseconds of `frames` frames at `rateMilli` thousandths fps, and the
// hundredths shown for them (both truncated).
uint32_t FramesToMs(uint32_t frames, uint32_t rateMilli);
uint32_t FramesToHundredths(uint32_t frames, uint32_t rateMilli);

}  // namespace pelvano
