#include "base/posix_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/error.h"

namespace pelvano {

std::string SystemReason(int code)
{
    return std::strerror(code);
}

std::string ReadRegularFile(const std::string& path, size_t limit)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw Error(path, SystemReason(errno));
    struct stat st {};
    std::string bytes;
    int failure = 0;
    if (::fstat(fd, &st) != 0) {
        failure = errno;
    } else if (S_ISREG(st.st_mode)) {
        // Sized from the file and grown while it grows, up to the limit:
        // clearing a buffer of the largest size taken costs more than a load.
        bytes.resize(std::min<size_t>(static_cast<size_t>(st.st_size), limit));
        size_t got = 0;
        for (;;) {
            const ssize_t n = detail::ReadAll(fd, bytes.data() + got, bytes.size() - got, got);
            if (n < 0) {
                failure = errno;
                break;
            }
            got += static_cast<size_t>(n);
            if (got < bytes.size() || got == limit)
                break;
            bytes.resize(std::min(std::max<size_t>(got * 2, 4096), limit));
        }
        bytes.resize(got);
    }
    ::close(fd);
    if (failure)
        throw Error(path, SystemReason(failure));
    if (!S_ISREG(st.st_mode))
        throw Error(path, kNotRegular);
    return bytes;
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
