#include "base/posix_io.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace pelvano {

std::string SystemReason(int code)
{
    return std::strerror(code);
}

namespace detail {

bool WriteAll(int fd, const char* data, size_t size)
{
    // Some kernels refuse single writes above 2 GiB; chunk well below that.
    constexpr size_t kChunk = size_t{1} << 30;
    while (size > 0) {
        const ssize_t n = ::write(fd, data, std::min(size, kChunk));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {  // no progress and no error: treat as a full device
            errno = ENOSPC;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

ssize_t ReadAll(int fd, char* data, size_t size, uint64_t offset)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, data + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

}  // namespace detail

}  // namespace pelvano
