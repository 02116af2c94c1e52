#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelvano {

// The largest IFO file we read. Real ones are a few hundred kilobytes at most.
constexpr size_t kMaxIfoSize = 4u << 20;

// Checks that every table of a VTS IFO image lies inside the file: the
// acceptance rule of ParseTitleSet. It accepts what libdvdread 6.1.3 reads
// without going outside its buffers, and refuses some files that library
// would take on trust (offsets that wrap, a damaged menu table).
// Returns what is wrong, or nothing when the image is sound.
std::optional<std::string> CheckIfoTables(std::string_view image);

// The same for the title table (TT_SRPT) of a video manager (VIDEO_TS.IFO),
// the only table of it that we read.
std::optional<std::string> CheckTitleTable(std::string_view image);

}  // namespace pelvano
