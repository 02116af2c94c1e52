#include "io/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <random>

#include "base/error.h"
#include "base/format.h"
#include "base/posix_io.h"

namespace pelvano {

ReplaceOutcome ReplaceFile(const std::string& path, const std::string& bytes, const ReplaceOptions& options)
{
    std::string target = path;
    struct stat old {};
    bool exists = false;
    if (::lstat(path.c_str(), &old) == 0) {
        if (S_ISLNK(old.st_mode)) {
            // Replace the file the link points to, not the link itself.
            char* resolved = ::realpath(path.c_str(), nullptr);
            if (!resolved)
                return ReplaceOutcome::CannotCreate;
            target = resolved;
            std::free(resolved);
            if (::stat(target.c_str(), &old) != 0)
                return ReplaceOutcome::CannotCreate;
        }
        if (!S_ISREG(old.st_mode))
            return ReplaceOutcome::CannotCreate;
        if ((options.refuseNoWriteBit && (old.st_mode & 0222) == 0) || ::access(target.c_str(), W_OK) != 0)
            return ReplaceOutcome::CannotCreate;
        exists = true;
    } else if (errno != ENOENT) {
        return ReplaceOutcome::CannotCreate;
    }

    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);

    // A new file gets 0666 less the umask from the kernel; a replacement
    // starts private and takes the old bits before any byte is written.
    std::random_device entropy;
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = Format("%s.%s.%08x", folder.c_str(), base.c_str(), static_cast<unsigned>(entropy()));
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return ReplaceOutcome::CannotCreate;

    bool ok = true;
    if (exists) {
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
        if (ok && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()))
            (void)!::fchown(fd, old.st_uid, old.st_gid);  // only root may; the bits matter more
    }
    ok = ok && detail::WriteAll(fd, bytes.data(), bytes.size());
    ok = ok && (!options.sync || ::fsync(fd) == 0);
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return ReplaceOutcome::WriteFailed;
    }

    if (options.sync) {
        // Make the rename itself durable; the data is already safe either way.
        const int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0) {
            (void)::fsync(dirFd);
            ::close(dirFd);
        }
    }
    return ReplaceOutcome::Replaced;
}

void ReplaceFileAtomically(const std::string& path, const std::string& bytes,
                           const std::string& failureMessage)
{
    if (ReplaceFile(path, bytes) != ReplaceOutcome::Replaced)
        throw Error(failureMessage);
}

}  // namespace pelvano
