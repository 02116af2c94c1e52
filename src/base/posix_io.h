#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace pelvano {

// The message of errno value `code`.
std::string SystemReason(int code);

namespace detail {

// write(2) until everything is out, retrying after signals and short writes.
// Returns false with errno set on the first real failure.
bool WriteAll(int fd, const char* data, size_t size);

// pread(2) until `size` bytes from `offset` are in, retrying after signals;
// the count read, less only at the end of the file; -1 with errno set on a failure.
ssize_t ReadAll(int fd, char* data, size_t size, uint64_t offset);

}  // namespace detail

}  // namespace pelvano
