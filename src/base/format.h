#pragma once

#include <string>

namespace pelvano {

// printf-style formatting into a std::string, for the user-facing texts
// that keep their C format strings.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace pelvano
