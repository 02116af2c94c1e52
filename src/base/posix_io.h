#pragma once

#include <cstddef>

namespace pelvano::detail {

// write(2) until everything is out, retrying after signals and short writes.
// Returns false with errno set on the first real failure.
bool WriteAll(int fd, const char* data, size_t size);

}  // namespace pelvano::detail
