#include "disc/source_kind.h"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/error.h"
#include "base/posix_io.h"

namespace pelvano {

namespace {

bool EndsWithNoCase(const std::string& text, const char* tail)
{
    const size_t n = std::strlen(tail);
    return text.size() >= n && strcasecmp(text.c_str() + text.size() - n, tail) == 0;
}

}  // namespace

struct stat StatSource(const std::string& path)
{
    struct stat st;
    if (path.empty())
        throw Error("No source given");
    if (stat(path.c_str(), &st) != 0)
        throw Error(path, SystemReason(errno));
    if (S_ISFIFO(st.st_mode))
        throw Error(path, "is a FIFO, not a DVD");
    if (S_ISSOCK(st.st_mode))
        throw Error(path, "is a socket, not a DVD");
    if (S_ISCHR(st.st_mode))
        throw Error(path, "is a character device, not a DVD");
    return st;
}

SourceKind KindOf(const std::string& path)
{
    const struct stat st = StatSource(path);
    if (S_ISDIR(st.st_mode))
        return SourceKind::Folder;
    if (S_ISBLK(st.st_mode))
        return SourceKind::Device;
    if (!S_ISREG(st.st_mode))
        throw Error(path, "not a file, folder or drive");
    // A title set's navigation file goes the way it always went, whatever
    // its state or name; only other files are taken for images.
    if (EndsWithNoCase(path, ".IFO") || EndsWithNoCase(path, ".BUP"))
        return SourceKind::IfoFile;
    if (EndsWithNoCase(path, ".mpls"))
        return SourceKind::PlaylistFile;
    char head[12] = {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        const ssize_t got = detail::ReadAll(fd, head, sizeof head, 0);
        ::close(fd);
        if (got == sizeof head && std::memcmp(head, "DVDVIDEO-", 9) == 0)
            return SourceKind::IfoFile;
        if (got == sizeof head && std::memcmp(head, "MPLS0", 5) == 0)
            return SourceKind::PlaylistFile;
    }
    return SourceKind::Image;
}

}  // namespace pelvano
