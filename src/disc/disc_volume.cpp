#include "disc/disc_volume.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/error.h"
#include "base/format.h"
#include "base/posix_io.h"
#include "disc/source_kind.h"

namespace pelvano {

DiscVolume OpenDiscVolume(const std::string& path)
{
    const struct stat st = StatSource(path);
    if (S_ISDIR(st.st_mode)) {
        // Listing a folder that cannot be read gives nothing: say why here.
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            throw Error(path, Format("the folder cannot be read (%s)", SystemReason(errno).c_str()));
        ::close(fd);
        return {OpenFolderVolume(path), true};
    }
    if (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))
        return {OpenUdfVolume(path), false};
    throw Error(path, "not a file, folder or drive");
}

}  // namespace pelvano
