#include "io/text_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/error.h"
#include "base/format.h"
#include "base/posix_io.h"
#include "io/atomic_file.h"

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

namespace {

// Devices, pipes, terminals and the names of open descriptors (/dev/stdout,
// /dev/fd/N) are written where they stand: replacing a file reached through
// a descriptor would leave its holder writing to the old one.
bool WritesInPlace(const std::string& path)
{
    if (path.rfind("/dev/std", 0) == 0 || path.rfind("/dev/fd/", 0) == 0 || path.rfind("/proc/", 0) == 0)
        return true;
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

void WriteInPlace(const std::string& path, const std::string& bytes, const std::string& partWayMessage)
{
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throw Error(Format("Cannot create file %s", path.c_str()));

    // A full local disk shows at write(); a network file system reports its
    // errors at the latest on close().
    bool ok = detail::WriteAll(fd, bytes.data(), bytes.size());
    struct stat st {};
    if (ok && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<uint64_t>(st.st_size) > bytes.size())
        ok = ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok)
        throw Error(partWayMessage);
}

// True when `path` is a regular file holding exactly `bytes`.
bool HoldsAlready(const std::string& path, const std::string& bytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool same =
        ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) == bytes.size();
    std::string buffer(same ? bytes.size() : 0, '\0');
    size_t got = 0;
    while (same && got < buffer.size()) {
        const ssize_t n = ::read(fd, buffer.data() + got, buffer.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        same = n > 0;
        got += same ? static_cast<size_t>(n) : 0;
    }
    ::close(fd);
    return same && buffer == bytes;
}

}  // namespace

void WriteTextFile(const std::string& path, const std::string& bytes, const std::string& partWayMessage)
{
    if (WritesInPlace(path)) {
        WriteInPlace(path, bytes, partWayMessage);
        return;
    }
    // A script that writes the same chapters again finds the file touched,
    // not replaced: renaming over a file makes ext4 flush the new one, which
    // would cost a batch run more than its own work.
    if (HoldsAlready(path, bytes) && ::access(path.c_str(), W_OK) == 0 &&
        ::utimensat(AT_FDCWD, path.c_str(), nullptr, 0) == 0)
        return;
    // No fsync: an exported text is not worth the wait on every save and
    // every batch run; the rename alone keeps the old file whole on failure.
    ReplaceOptions options;
    options.sync = false;
    options.refuseNoWriteBit = false;
    switch (ReplaceFile(path, bytes, options)) {
    case ReplaceOutcome::Replaced:
        return;
    case ReplaceOutcome::WriteFailed:
        throw Error(partWayMessage);
    case ReplaceOutcome::CannotCreate:
        break;
    }
    // A folder that takes no new file may still hold a file we may write.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), W_OK) == 0) {
        WriteInPlace(path, bytes, partWayMessage);
        return;
    }
    throw Error(Format("Cannot create file %s", path.c_str()));
}

void RefuseWritingOverInput(const std::string& output, const std::vector<std::string>& inputs)
{
    struct stat outputFile {};
    if (::stat(output.c_str(), &outputFile) != 0)
        return;
    for (const std::string& input : inputs) {
        struct stat inputFile {};
        if (::stat(input.c_str(), &inputFile) == 0 && inputFile.st_dev == outputFile.st_dev &&
            inputFile.st_ino == outputFile.st_ino)
            throw Error(
                Format("%s is the source being read (%s): not written over", output.c_str(), input.c_str()));
    }
}

std::optional<std::string> ReadTextFile(const std::string& path, size_t maxSize)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR))
        return std::nullopt;
    // One byte more tells a file that is too large, or grew so while read.
    std::string bytes = ReadRegularFile(path, maxSize + 1);
    if (bytes.size() > maxSize)
        throw Error(path, Format("larger than %zu bytes", maxSize));
    return bytes;
}

}  // namespace pelvano
