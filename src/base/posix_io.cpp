#include "base/posix_io.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace pelvano::detail {

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

}  // namespace pelvano::detail
