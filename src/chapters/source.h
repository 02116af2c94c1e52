#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pelvano {

// What the user pointed at.
enum class SourceKind {
    IfoFile,  // an IFO or BUP file (by name or by its first bytes): loaded exactly as before
    Folder,   // a VIDEO_TS folder or the folder that holds one
    Image,    // an ISO/UDF image file
    Device,   // a DVD drive's block device
};

struct PgcSummary {
    int number = 0;         // 1-based, as the Title list shows it
    uint32_t lengthMs = 0;  // play time converted as a title load converts times
    uint32_t cells = 0;
    uint32_t chapters = 0;  // chapter lines with the default marks (program map, last-chapter rule on)
};

struct TitleSetSummary {
    int number = 0;         // 1..99
    std::string ifoName;    // "VTS_01_0.IFO"
    std::string tvSystem;   // "PAL" or "NTSC"
    std::string frameRate;  // "25000" or "29970", the load's default rate
    std::vector<PgcSummary> pgcs;
    int longestPgc = -1;     // 0-based index of the longest PGC, as a new-file load selects it
    int32_t longestKey = 0;  // its length key (the one the longest-PGC search compares)
};

// A source opened for listing. Opening reads what the listing needs and
// keeps no file or library handle: loading a title set opens the source again.
class Source {
public:
    // Throws Error with a one-line message naming the path and the reason.
    // Never opens a FIFO, socket or character device (checked before opening).
    static Source Open(const std::string& path);

    // What kind of source `path` names, checked with stat only; throws Error
    // for what can be no source (missing, FIFO, socket, character device).
    static SourceKind KindOf(const std::string& path);

    const std::string& path() const { return path_; }
    SourceKind kind() const { return kind_; }

    // In ascending order; for an IFO file the one title set it holds.
    const std::vector<TitleSetSummary>& titleSets() const { return titleSets_; }
    const TitleSetSummary* titleSet(int number) const;
    // Number of the title set holding the longest PGC of the source (first of
    // equal keys wins); the first title set when none has a PGC.
    int defaultTitleSet() const { return defaultTitleSet_; }
    // Title sets named on the disc that are missing or cannot be read, one
    // message each; they are left out of titleSets().
    const std::vector<std::string>& problems() const { return problems_; }

private:
    std::string path_;
    SourceKind kind_ = SourceKind::IfoFile;
    std::vector<TitleSetSummary> titleSets_;
    int defaultTitleSet_ = 0;
    std::vector<std::string> problems_;
};

}  // namespace pelvano
