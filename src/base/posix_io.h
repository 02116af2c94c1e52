#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace pelvano {

// The message of errno value `code`.
std::string SystemReason(int code);

// The first `limit` bytes of the regular file at `path` (all of it when it
// is shorter), read as it is now, never blocking on a FIFO in its place.
// Throws Error(path, reason): the system's reason, or kNotRegular.
std::string ReadRegularFile(const std::string& path, size_t limit);
inline constexpr const char* kNotRegular = "not a regular file";

namespace detail {

// write(2) until everything is out, retrying after signals and short writes.
// Returns false with errno set on the first real failure.
bool WriteAll(int fd, const char* data, size_t size);

// pread(2) until `size` bytes from `offset` are in, retrying after signals;
// the count read, less only at the end of the file; -1 with errno set on a failure.
ssize_t ReadAll(int fd, char* data, size_t size, uint64_t offset);

}  // namespace detail

}  // namespace pelvano
