#include "ifo/disc_reader.h"

#include <dvdread/dvd_reader.h>

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "base/error.h"
#include "base/format.h"
#include "ifo/ifo_precheck.h"

namespace pelvano {

namespace {

constexpr ssize_t kBlock = 2048;
// UDF puts its anchor in sector 256: anything shorter holds no file system.
constexpr off_t kMinImageSize = 257 * kBlock;

void QuietLog(void*, dvd_logger_level_t, const char*, va_list) {}
const dvd_logger_cb kQuietLogger = {QuietLog};

std::string IfoName(int titleSet)
{
    return titleSet == 0 ? std::string("VIDEO_TS.IFO") : Format("VTS_%02d_0.IFO", titleSet);
}

std::string Reason(int error) { return std::strerror(error); }

// Entry `name` of folder `dir`, compared without case as libdvdread does;
// empty when there is none.
std::string FindEntry(const std::string& dir, const char* name)
{
    DIR* d = opendir(dir.c_str());
    if (!d)
        return {};
    std::string found;
    while (const dirent* entry = readdir(d)) {
        if (strcasecmp(entry->d_name, name) == 0) {
            found = dir + "/" + entry->d_name;
            break;
        }
    }
    closedir(d);
    return found;
}

bool IsDirectory(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string BaseName(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What libdvdread reads from a folder source: the folder itself, else its
// VIDEO_TS or video_ts folder.
bool HoldsDiscFiles(const std::string& dir)
{
    return !FindEntry(dir, "VIDEO_TS.IFO").empty() || !FindEntry(dir, "VTS_01_0.IFO").empty();
}

void CheckFolder(const std::string& path)
{
    DIR* d = opendir(path.c_str());
    if (!d)
        throw Error(Format("%s: the folder cannot be read (%s)", path.c_str(), Reason(errno).c_str()));
    closedir(d);
    if (strcasecmp(BaseName(path).c_str(), "VIDEO_TS") == 0 || HoldsDiscFiles(path))
        return;
    for (const char* sub : {"VIDEO_TS", "video_ts"}) {
        const std::string dir = path + "/" + sub;
        if (!IsDirectory(dir))
            continue;
        if (DIR* v = opendir(dir.c_str())) {
            closedir(v);
            return;
        }
        throw Error(Format("%s: the folder cannot be read (%s)", dir.c_str(), Reason(errno).c_str()));
    }
    throw Error(Format("%s: no VIDEO_TS folder in it", path.c_str()));
}

struct FileCloser {
    void operator()(dvd_file_t* file) const { DVDCloseFile(file); }
};
using DvdFile = std::unique_ptr<dvd_file_t, FileCloser>;

}  // namespace

std::unique_ptr<DiscReader> DiscReader::Open(const std::string& path)
{
    struct stat st;
    if (path.empty())
        throw Error("No source given");
    if (stat(path.c_str(), &st) != 0)
        throw Error(Format("%s: %s", path.c_str(), Reason(errno).c_str()));
    if (S_ISFIFO(st.st_mode))
        throw Error(Format("%s: is a FIFO, not a DVD", path.c_str()));
    if (S_ISSOCK(st.st_mode))
        throw Error(Format("%s: is a socket, not a DVD", path.c_str()));
    if (S_ISCHR(st.st_mode))
        throw Error(Format("%s: is a character device, not a DVD", path.c_str()));

    auto disc = std::unique_ptr<DiscReader>(new DiscReader());
    disc->path_ = path;
    if (S_ISDIR(st.st_mode)) {
        CheckFolder(path);
        disc->folder_ = true;
    } else if (S_ISREG(st.st_mode)) {
        if (st.st_size == 0)
            throw Error(Format("%s: the file is empty", path.c_str()));
        if (st.st_size < kMinImageSize)
            throw Error(Format("%s: too short for a DVD image (%lld bytes)", path.c_str(),
                               static_cast<long long>(st.st_size)));
    } else if (!S_ISBLK(st.st_mode)) {
        throw Error(Format("%s: not a file, folder or drive", path.c_str()));
    }

    disc->dvd_ = DVDOpen2(nullptr, &kQuietLogger, path.c_str());
    if (!disc->dvd_)
        throw Error(Format("%s: libdvdread cannot open it", path.c_str()));
    return disc;
}

DiscReader::~DiscReader()
{
    if (dvd_)
        DVDClose(dvd_);
}

void DiscReader::checkFolderFile(const std::string& name) const
{
    if (!folder_)
        return;
    std::string file = FindEntry(path_, name.c_str());
    for (const char* sub : {"/VIDEO_TS", "/video_ts"}) {
        if (file.empty())
            file = FindEntry(path_ + sub, name.c_str());
    }
    struct stat st;
    if (!file.empty() && stat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw Error(Format("%s: %s is not a regular file", path_.c_str(), name.c_str()));
}

bool DiscReader::hasTitleSet(int titleSet) const
{
    if (titleSet < 1 || titleSet > 99)
        return false;
    if (folder_) {
        const std::string name = IfoName(titleSet);
        return !FindEntry(path_, name.c_str()).empty() ||
               !FindEntry(path_ + "/VIDEO_TS", name.c_str()).empty() ||
               !FindEntry(path_ + "/video_ts", name.c_str()).empty();
    }
    return DvdFile(DVDOpenFile(dvd_, titleSet, DVD_READ_INFO_FILE)) != nullptr;
}

std::optional<int> DiscReader::titleSetCount() const
{
    try {
        checkFolderFile(IfoName(0));
    } catch (const Error&) {
        return std::nullopt;
    }
    DvdFile file(DVDOpenFile(dvd_, 0, DVD_READ_INFO_FILE));
    if (!file)
        return std::nullopt;
    unsigned char head[kBlock];
    if (DVDReadBytes(file.get(), head, sizeof head) != static_cast<ssize_t>(sizeof head) ||
        std::memcmp(head, "DVDVIDEO-VMG", 12) != 0)
        return std::nullopt;
    const int count = head[0x3E] << 8 | head[0x3F];
    if (count < 1 || count > 99)
        return std::nullopt;
    return count;
}

std::string DiscReader::readTitleSet(int titleSet) const
{
    const std::string name = IfoName(titleSet);
    if (titleSet < 1 || titleSet > 99)
        throw Error(Format("%s: there is no title set %d", path_.c_str(), titleSet));
    checkFolderFile(name);
    DvdFile file(DVDOpenFile(dvd_, titleSet, DVD_READ_INFO_FILE));
    if (!file)
        throw Error(Format("%s: %s is not there", path_.c_str(), name.c_str()));
    const ssize_t blocks = DVDFileSize(file.get());
    if (blocks <= 0)
        throw Error(Format("%s: %s is empty", path_.c_str(), name.c_str()));
    const size_t size = static_cast<size_t>(std::min<ssize_t>(blocks, kMaxIfoSize / kBlock + 1) * kBlock);
    std::string bytes(size, '\0');
    const ssize_t got = DVDReadBytes(file.get(), bytes.data(), size);
    if (got != static_cast<ssize_t>(size))
        throw Error(Format("%s: %s cannot be read (a truncated image?)", path_.c_str(), name.c_str()));
    return bytes;
}

}  // namespace pelvano
