#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "chapters/chapter_model.h"
#include "ifo/ifo_reader.h"
#include "ifo/report.h"

namespace pelvano {

// What one title load changes in the window. Fields that a failed load
// leaves alone are empty optionals.
struct LoadResult {
    Report report;                  // always replaced
    std::vector<CellRow> rows;      // always replaced (empty on failure)
    // "Open AVI": disabled when the file did not open, enabled when a PGC was
    // read, left as it is when the load stopped in between.
    std::optional<bool> openAviEnabled;
    std::optional<std::vector<std::string>> titles;  // cbTitle items
    int selectedTitle = -1;         // cbTitle selection when titles is set
    std::optional<std::string> frameRate;            // cbFrameRate text
    // Set when a PGC was read: the model and the two footer texts.
    std::optional<TitleModel> model;
    std::string timeLength;
    std::string chapterTotal;
};

struct LoadRequest {
    std::string ifoPath;
    bool newFile = true;           // pick the longest PGC
    int currentTitle = -1;         // cbTitle's selection before the load
    bool fixLastChapter = true;    // chkFixLCB
    // chkExactNTSC: an NTSC title's times are its frame counts x 1001/30 ms
    // (rounded up) instead of nominal seconds; PAL titles are not touched.
    bool exactNtsc = false;
};

LoadResult LoadTitle(const LoadRequest& request);

// Index of the longest PGC (first of equals; 0 when all are 0 or there is
// none), -1 without a reader.
int FindLongestPgc(const IfoReader* reader);

// Applies a load to a document: rows always, model and labels when read.
void ApplyLoad(ChapterDocument& doc, const LoadResult& result);

// Milliseconds of `frames` frames at `rateMilli` thousandths fps, and the
// hundredths shown for them (both truncated).
uint32_t FramesToMs(uint32_t frames, uint32_t rateMilli);
uint32_t FramesToHundredths(uint32_t frames, uint32_t rateMilli);

}  // namespace pelvano
