#include "presets/text_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/error.h"
#include "presets/posix_io.h"

namespace pelvano {

std::string ToCrLf(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

void WriteTextFile(const std::string& path, const std::string& bytes, const std::string& partWayMessage)
{
    // Not O_TRUNC: emptying a file that has data makes ext4 force the new
    // data to disk on close, which costs a batch run several times its own
    // time. Writing over the old bytes and cutting the rest off ends with the
    // same file.
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throw Error(Format("Cannot create file %s", path.c_str()));

    // A full local disk shows at write(); a network file system reports its
    // errors at the latest on close(). No fsync: an exported text is not
    // worth the wait on every save and every batch run.
    bool ok = detail::WriteAll(fd, bytes.data(), bytes.size());
    struct stat st {};
    if (ok && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<uint64_t>(st.st_size) > bytes.size())
        ok = ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok)
        throw Error(partWayMessage);
}

}  // namespace pelvano
