#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pelvano {

// printf-style formatting into a std::string, for the user-facing texts
// that keep their C format strings.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Format("%0<width>u", value) without the format parsing: the cell table's
// and the time formatter's numbers, written for every cell of every load.
std::string ZeroPadded(unsigned long long value, int width);
// The same, appended to `out`.
void AppendZeroPadded(std::string& out, unsigned long long value, int width);

// Length of the UTF-8 sequence starting at s[i], or 0 when it is not one
// (overlong forms, surrogates and values above U+10FFFF included).
size_t Utf8Length(std::string_view s, size_t i);

}  // namespace pelvano
