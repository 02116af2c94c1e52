#include "disc/dvd_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/format.h"
#include "base/posix_io.h"
#include "disc/disc_volume.h"
#include "disc/paths.h"

namespace pelvano {

namespace {

constexpr size_t kBlock = 2048;

// The folders of a volume that may hold the navigation files, in the order
// they are looked in: a folder source's own folder, then its VIDEO_TS (as
// libdvdread looks); an image's VIDEO_TS folder, whatever its case.
std::vector<std::string> NavigationFolders(Volume& volume, bool folderSource)
{
    if (folderSource)
        return {"", "VIDEO_TS", "video_ts"};
    for (const Volume::Entry& entry : volume.list(""))
        if (entry.folder && SameNameNoCase(entry.name, "VIDEO_TS"))
            return {entry.name};
    return {};
}

// A folder is a DVD when it is named VIDEO_TS, holds navigation files or a
// VIDEO_TS folder.
void CheckFolder(const std::string& path, Volume& volume)
{
    if (SameNameNoCase(BaseName(path), "VIDEO_TS"))
        return;
    for (const Volume::Entry& entry : volume.list("")) {
        if (TitleSetOfName(entry.name) >= 0)
            return;
    }
    for (const char* sub : {"VIDEO_TS", "video_ts"}) {
        const std::string dir = path + "/" + sub;
        struct stat st;
        if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            continue;
        const int sub_fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (sub_fd < 0)
            throw Error(dir, Format("the folder cannot be read (%s)", SystemReason(errno).c_str()));
        ::close(sub_fd);
        return;
    }
    throw Error(path, "no VIDEO_TS folder in it");
}

// A disc file's bytes in whole blocks.
std::string WholeBlocks(Volume& volume, const std::string& file, size_t limit)
{
    std::string bytes = volume.read(file, (limit + kBlock - 1) / kBlock * kBlock);
    bytes.resize(bytes.size() / kBlock * kBlock);
    if (bytes.empty())
        throw Error(BaseName(file) + " is empty");
    return bytes;
}

}  // namespace

DvdFiles ReadDvdFiles(const std::string& path, size_t limit)
{
    DiscVolume disc = OpenDiscVolume(path);
    return ReadDvdFiles(*disc.volume, path, disc.folder, limit);
}

DvdFiles ReadDvdFiles(Volume& volume, const std::string& path, bool folder, size_t limit)
{
    if (folder)
        CheckFolder(path, volume);

    // Each file where it is first found (names compared without case).
    std::map<std::pair<int, bool>, std::string> where;  // (title set, backup) -> path in the volume
    for (const std::string& dir : NavigationFolders(volume, folder)) {
        for (const Volume::Entry& entry : volume.list(dir)) {
            const int number = TitleSetOfName(entry.name);
            if (number < 0)
                continue;
            const bool backup = SameNameNoCase(entry.name, IfoName(number, "BUP"));
            where.emplace(std::pair{number, backup}, dir.empty() ? entry.name : dir + "/" + entry.name);
        }
    }

    DvdFiles files;
    for (const auto& [key, file] : where) {
        const auto [number, backup] = key;
        // A backup stands in only for a file that is not there, or, for the
        // menu file, one that does not read.
        if (backup && where.count({number, false}) && (number > 0 || files.videoManager))
            continue;
        if (number == 0) {
            try {
                files.videoManager = WholeBlocks(volume, file, limit);
            } catch (const Error&) {
            }
            continue;
        }
        try {
            files.titleSets.insert_or_assign(number, WholeBlocks(volume, file, limit));
        } catch (const Error& e) {
            files.titleSets.insert_or_assign(number, Error(path, e.what()));
        }
    }
    files.inputs = volume.inputs();
    return files;
}

}  // namespace pelvano
