#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelvano {

// The largest IFO file we read. Real ones are a few hundred kilobytes at most.
constexpr size_t kMaxIfoSize = 4u << 20;

// Checks that every table of a VTS IFO image lies inside the file: the
// acceptance rule of ParseTitleSet. It accepts what libdvdread 6.1.3 reads
// without going outside its buffers, and refuses some files that library
// would take on trust (offsets that wrap, a damaged menu table, titles
// sharing their parts).
// Returns what is wrong, or nothing when the image is sound.
std::optional<std::string> CheckIfoTables(std::string_view image);

class IfoBytes;

// Where the parts of each title of a part-of-title table (VTS_PTT_SRPT at
// `base`) lie, as libdvdread 6.1.3 works them out: the offsets list stops at
// the first one whose entry would end past the table; a title runs to the
// next title's start (no parts when that lies before it) or to the table's
// end, and holds as many whole 4-byte entries as fit, counted in 16 bits.
// For a table CheckIfoTables accepts.
struct TitlePartsRange {
    uint64_t start;  // from `base`
    uint16_t parts;
};
std::vector<TitlePartsRange> TitlePartsRanges(const IfoBytes& img, uint64_t base);

// The same for the title table (TT_SRPT) of a video manager (VIDEO_TS.IFO),
// the only table of it that we read.
std::optional<std::string> CheckTitleTable(std::string_view image);

}  // namespace pelvano
