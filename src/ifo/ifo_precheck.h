#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelvano {

// The largest title-set IFO we hand to the reader library. Real ones are a
// few hundred kilobytes at most.
constexpr size_t kMaxIfoSize = 4u << 20;

// Checks that every table of a VTS IFO image lies inside the file, so that
// the reader library, which trusts the sizes and offsets it finds, never
// reads outside its buffers or dereferences a table it failed to read.
// Returns what is wrong, or nothing when the image is sound.
std::optional<std::string> CheckIfoTables(std::string_view image);

}  // namespace pelvano
