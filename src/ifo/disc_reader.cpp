#include "ifo/disc_reader.h"

#include <dvdread/dvd_reader.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <strings.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>

#include "base/error.h"
#include "base/format.h"
#include "ifo/ifo_precheck.h"
#include "ifo/own_folder.h"
#include "ifo/udf_image.h"
#include "ifo/udf_layout.h"
#include "base/posix_io.h"

namespace pelvano {

namespace {

constexpr ssize_t kBlock = 2048;
// Anything shorter holds no UDF anchor, so no file system.
constexpr off_t kMinImageSize = (udf::kAnchorBlock + 1) * kBlock;
// A drive may need to spin up; an image is read in milliseconds.
constexpr int kImageTimeoutMs = 20000;
constexpr int kDriveTimeoutMs = 60000;

// Present in sanitizer builds only.
// NOLINTNEXTLINE(bugprone-reserved-identifier): the sanitizer runtime's own name
extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

void QuietLog(void*, dvd_logger_level_t, const char*, va_list) {}
const dvd_logger_cb kQuietLogger = {QuietLog};

std::string IfoName(int titleSet)
{
    return titleSet == 0 ? std::string("VIDEO_TS.IFO") : Format("VTS_%02d_0.IFO", titleSet);
}

std::string Reason(int error)
{
    return std::strerror(error);
}

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

void CheckFolder(const std::string& path)
{
    DIR* d = opendir(path.c_str());
    if (!d)
        throw Error(Format("%s: the folder cannot be read (%s)", path.c_str(), Reason(errno).c_str()));
    closedir(d);
    if (strcasecmp(BaseName(path).c_str(), "VIDEO_TS") == 0 || !FindEntry(path, "VIDEO_TS.IFO").empty() ||
        !FindEntry(path, "VTS_01_0.IFO").empty())
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
struct DvdCloser {
    void operator()(dvd_reader_t* dvd) const { DVDClose(dvd); }
};

// A navigation file as a source gives it: its size in whole blocks and its
// first bytes.
class NavigationFile {
public:
    virtual ~NavigationFile() = default;
    virtual ssize_t blocks() const = 0;
    // The first `size` bytes; nothing when they cannot be read.
    virtual std::optional<std::string> read(size_t size) = 0;
};

// A file of a folder source read as libdvdread reads one: its size in whole
// blocks, its bytes from the start.
class FolderFile : public NavigationFile {
public:
    explicit FolderFile(const std::string& path)
    {
        // Never blocks, should the checked file have become a FIFO since.
        fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        struct stat st;
        if (fd_ >= 0 && fstat(fd_, &st) == 0 && S_ISREG(st.st_mode))
            blocks_ = st.st_size / kBlock;
    }
    ~FolderFile() override
    {
        if (fd_ >= 0)
            close(fd_);
    }
    FolderFile(const FolderFile&) = delete;
    FolderFile& operator=(const FolderFile&) = delete;

    bool opened() const { return fd_ >= 0; }
    ssize_t blocks() const override { return blocks_; }
    std::optional<std::string> read(size_t size) override
    {
        if (size > static_cast<size_t>(blocks_) * kBlock)
            return std::nullopt;
        std::string bytes(size, '\0');
        size_t done = 0;
        while (done < size) {
            const ssize_t n = pread(fd_, bytes.data() + done, size - done, static_cast<off_t>(done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return std::nullopt;
            done += static_cast<size_t>(n);
        }
        return bytes;
    }

private:
    int fd_ = -1;
    ssize_t blocks_ = 0;
};

class LibraryFile : public NavigationFile {
public:
    explicit LibraryFile(DvdFile file) : file_(std::move(file)) {}
    ssize_t blocks() const override { return DVDFileSize(file_.get()); }
    std::optional<std::string> read(size_t size) override
    {
        std::string bytes(size, '\0');
        if (DVDReadBytes(file_.get(), bytes.data(), size) != static_cast<ssize_t>(size))
            return std::nullopt;
        return bytes;
    }

private:
    DvdFile file_;
};

class ImageFile : public NavigationFile {
public:
    ImageFile(UdfImage& image, const UdfImage::File& file) : image_(image), file_(file) {}
    ssize_t blocks() const override { return file_.blocks(); }
    std::optional<std::string> read(size_t size) override { return image_.read(file_, size); }

private:
    UdfImage& image_;
    UdfImage::File file_;
};

// What one reading gathers; the same whether it ran here or in a child.
struct Gathered {
    bool opened = false;
    int count = -1;  // -1: VIDEO_TS.IFO unreadable
    std::map<int, DiscReader::TitleSetFile> files;
};

class Gatherer {
public:
    enum class Source { Folder, Library };

    Gatherer(const std::string& path, Source source) : path_(path), folder_(source == Source::Folder)
    {
        // The folders libdvdread looks in, listed once: a scan per file
        // costs more than reading it.
        if (folder_) {
            for (const std::string& dir : {path_, path_ + "/VIDEO_TS", path_ + "/video_ts"})
                folders_.push_back({dir, Entries(dir)});
        }
    }
    // An image read with our own UDF reader, which may throw UdfImage::Unsupported.
    Gatherer(const std::string& path, UdfImage& image) : path_(path), folder_(false), image_(&image) {}

    Gathered run(int only)
    {
        Gathered out;
        // A folder's files are read where libdvdread would find them
        // (find()): opening the folder through the library costs more than
        // reading them.
        if (!folder_ && !image_) {
            dvd_.reset(DVDOpen2(nullptr, &kQuietLogger, path_.c_str()));
            if (!dvd_)
                return out;
        }
        out.opened = true;
        out.count = readCount();
        if (only > 0) {
            out.files[only] = read(only);
        } else if (out.count > 0) {
            for (int n = 1; n <= out.count; ++n)
                out.files[n] = read(n);
        } else {
            for (int n = 1; n <= 99; ++n) {
                DiscReader::TitleSetFile file = read(n);
                if (file.state == DiscReader::State::Missing)
                    break;
                out.files[n] = std::move(file);
            }
        }
        return out;
    }

private:
    // A file that libdvdread would open in a folder source and that is no
    // regular file (opening a FIFO blocks); empty when there is none.
    std::string refusal(int titleSet) const
    {
        if (!folder_)
            return {};
        const std::string file = find(IfoName(titleSet));
        struct stat st;
        if (!file.empty() && stat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
            return IfoName(titleSet) + " is not a regular file";
        return {};
    }

    // The navigation file of a title set where libdvdread finds it; nullptr
    // when it finds none.
    std::unique_ptr<NavigationFile> open(int titleSet) const
    {
        if (folder_) {
            const std::string where = find(IfoName(titleSet));
            if (where.empty())
                return nullptr;
            auto file = std::make_unique<FolderFile>(where);
            return file->opened() ? std::move(file) : nullptr;
        }
        if (image_) {
            const std::optional<UdfImage::File> file = image_->find("/VIDEO_TS/" + IfoName(titleSet));
            return file ? std::make_unique<ImageFile>(*image_, *file) : nullptr;
        }
        DvdFile file(DVDOpenFile(dvd_.get(), titleSet, DVD_READ_INFO_FILE));
        return file ? std::make_unique<LibraryFile>(std::move(file)) : nullptr;
    }

    int readCount() const
    {
        if (!refusal(0).empty())
            return -1;
        const std::unique_ptr<NavigationFile> file = open(0);
        const std::optional<std::string> head = file ? file->read(kBlock) : std::nullopt;
        if (!head || head->compare(0, 12, "DVDVIDEO-VMG") != 0)
            return -1;
        const int count = static_cast<uint8_t>((*head)[0x3E]) << 8 | static_cast<uint8_t>((*head)[0x3F]);
        return count >= 1 && count <= 99 ? count : -1;
    }

    DiscReader::TitleSetFile read(int titleSet) const
    {
        DiscReader::TitleSetFile out;
        const std::string name = IfoName(titleSet);
        if (std::string refused = refusal(titleSet); !refused.empty()) {
            out.state = DiscReader::State::Failed;
            out.reason = std::move(refused);
            return out;
        }
        const std::unique_ptr<NavigationFile> file = open(titleSet);
        if (!file)
            return out;
        out.state = DiscReader::State::Failed;
        const ssize_t blocks = file->blocks();
        if (blocks <= 0) {
            out.reason = name + " is empty";
            return out;
        }
        const size_t size = static_cast<size_t>(std::min<ssize_t>(blocks, kMaxIfoSize / kBlock + 1) * kBlock);
        std::optional<std::string> bytes = file->read(size);
        if (!bytes) {
            out.reason = name + " cannot be read (a truncated image?)";
            return out;
        }
        out.state = DiscReader::State::Read;
        out.bytes = std::move(*bytes);
        return out;
    }

    static std::vector<std::string> Entries(const std::string& dir)
    {
        std::vector<std::string> names;
        if (DIR* d = opendir(dir.c_str())) {
            while (const dirent* entry = readdir(d))
                names.emplace_back(entry->d_name);
            closedir(d);
        }
        return names;
    }

    // Where libdvdread finds a file of a folder source: the folder itself,
    // then its VIDEO_TS and video_ts folders; empty when it is in none.
    std::string find(const std::string& name) const
    {
        for (const auto& [dir, names] : folders_) {
            for (const std::string& entry : names) {
                if (strcasecmp(entry.c_str(), name.c_str()) == 0)
                    return std::string(dir).append("/").append(entry);
            }
        }
        return {};
    }

    std::string path_;
    bool folder_;
    UdfImage* image_ = nullptr;
    std::vector<std::pair<std::string, std::vector<std::string>>> folders_;
    std::unique_ptr<dvd_reader_t, DvdCloser> dvd_;
};

// --- The child's answer: a flat record of what it gathered. -------------------

void PutInt(std::string& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((v >> shift) & 0xff);
}

void PutText(std::string& out, const std::string& text)
{
    PutInt(out, static_cast<uint32_t>(text.size()));
    out += text;
}

std::string Encode(const Gathered& g)
{
    std::string out;
    PutInt(out, g.opened ? 1 : 0);
    PutInt(out, static_cast<uint32_t>(g.count));
    PutInt(out, static_cast<uint32_t>(g.files.size()));
    for (const auto& [n, file] : g.files) {
        PutInt(out, static_cast<uint32_t>(n));
        PutInt(out, static_cast<uint32_t>(file.state));
        PutText(out, file.reason);
        PutText(out, file.bytes);
    }
    return out;
}

class Decoder {
public:
    explicit Decoder(const std::string& bytes) : bytes_(bytes) {}
    uint32_t u32()
    {
        if (bytes_.size() - pos_ < 4)
            throw Error("short answer");
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = v << 8 | static_cast<uint8_t>(bytes_[pos_++]);
        return v;
    }
    std::string text()
    {
        const uint32_t n = u32();
        if (bytes_.size() - pos_ < n)
            throw Error("short answer");
        std::string out = bytes_.substr(pos_, n);
        pos_ += n;
        return out;
    }
    bool done() const { return pos_ == bytes_.size(); }

private:
    const std::string& bytes_;
    size_t pos_ = 0;
};

Gathered Decode(const std::string& bytes)
{
    Decoder in(bytes);
    Gathered g;
    g.opened = in.u32() != 0;
    g.count = static_cast<int32_t>(in.u32());
    const uint32_t files = in.u32();
    if (files > 99)
        throw Error("bad answer");
    for (uint32_t i = 0; i < files; ++i) {
        const uint32_t n = in.u32();
        const uint32_t state = in.u32();
        if (n < 1 || n > 99 || state > static_cast<uint32_t>(DiscReader::State::Failed))
            throw Error("bad answer");
        DiscReader::TitleSetFile& file = g.files[static_cast<int>(n)];
        file.state = static_cast<DiscReader::State>(state);
        file.reason = in.text();
        file.bytes = in.text();
    }
    if (!in.done() || g.count < -1 || g.count > 99)
        throw Error("bad answer");
    return g;
}

// libdvdread allocates what a directory on the image claims (gigabytes on a
// hostile one) before it reads it. The child may grow by no more than this;
// a sanitizer build keeps its own huge reservations and is left alone.
constexpr uint64_t kChildGrowth = 256u << 20;

void LimitMemory()
{
    unsigned long long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%llu", &pages) != 1)
            pages = 0;
        std::fclose(statm);
    }
    if (pages == 0)
        return;
    const rlimit limit{pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) + kChildGrowth, RLIM_INFINITY};
    setrlimit(RLIMIT_AS, &limit);
}

// Runs the gathering in a child process and takes its answer; a child that
// crashes, hangs or answers nonsense is a damaged disc.
Gathered GatherApart(const std::string& path, int only, int timeoutMs, bool drive)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw Error(Format("%s: cannot read the disc (%s)", path.c_str(), Reason(errno).c_str()));
    const pid_t pid = fork();
    if (pid < 0) {
        const int error = errno;
        close(fds[0]);
        close(fds[1]);
        throw Error(Format("%s: cannot read the disc (%s)", path.c_str(), Reason(error).c_str()));
    }
    if (pid == 0) {
        close(fds[0]);
        // A fault in here is reported to the parent as a damaged disc; the
        // death hooks of a sanitizer or fuzzer build belong to the parent.
        if (__sanitizer_set_death_callback)
            __sanitizer_set_death_callback(nullptr);
        else
            LimitMemory();
        // An image's navigation files are never scrambled, so libdvdread
        // need not search for libdvdcss (a drive may want its keys).
        std::optional<detail::OpeningOwnFolder> plain;
        if (!drive)
            plain.emplace();
        const std::string answer = Encode(Gatherer(path, Gatherer::Source::Library).run(only));
        const bool ok = detail::WriteAll(fds[1], answer.data(), answer.size());
        _exit(ok ? 0 : 1);
    }
    close(fds[1]);

    std::string answer;
    bool timedOut = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            timedOut = ready == 0;
            break;
        }
        char buf[65536];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        answer.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (timedOut)
        kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut)
        throw Error(Format("%s: reading the disc's file system did not finish", path.c_str()));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw Error(Format("%s: the disc's file system is damaged (libdvdread failed on it)", path.c_str()));
    try {
        return Decode(answer);
    } catch (const Error&) {
        throw Error(Format("%s: the disc's file system is damaged (libdvdread failed on it)", path.c_str()));
    }
}

// An image: read in process with our own UDF reader, which finds what
// libdvdread finds; what that reader does not follow goes to libdvdread in a
// child process.
Gathered GatherImage(const std::string& path, int only)
{
    std::unique_ptr<UdfImage> image = UdfImage::Open(path);
    // libdvdread would not open it either.
    if (!image)
        return {};
    try {
        return Gatherer(path, *image).run(only);
    } catch (const UdfImage::Endless&) {
        // What the child would come to, without the wait.
        throw Error(Format("%s: reading the disc's file system did not finish", path.c_str()));
    } catch (const UdfImage::Unsupported&) {
    }
    image.reset();
    return GatherApart(path, only, kImageTimeoutMs, false);
}

// The last image read whole, so that loading a title set right after the
// listing (the window, a script) costs no second reading. Known by the
// file's identity and times; a drive's disc can change unseen, so drives
// are always read.
class LastImage {
public:
    // Shared, not copied: the readers made from it only read it.
    std::shared_ptr<const Gathered> find(const struct stat& st, int only)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!gathered_ || !Same(st, stat_) || (only > 0 && !gathered_->files.count(only)))
            return nullptr;
        return gathered_;
    }
    void keep(const struct stat& st, const std::shared_ptr<const Gathered>& gathered)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stat_ = st;
        gathered_ = gathered;
    }

private:
    static bool Same(const struct stat& a, const struct stat& b)
    {
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
               a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
               a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
    }

    std::mutex mutex_;
    struct stat stat_ = {};
    std::shared_ptr<const Gathered> gathered_;
};

LastImage& TheLastImage()
{
    static LastImage last;
    return last;
}

}  // namespace

struct stat StatSource(const std::string& path)
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
    return st;
}

std::unique_ptr<DiscReader> DiscReader::Open(const std::string& path, int only)
{
    const struct stat st = StatSource(path);
    if (only < 0 || only > 99)
        throw Error(Format("%s: there is no title set %d", path.c_str(), only));

    std::shared_ptr<const Gathered> gathered;
    if (S_ISDIR(st.st_mode)) {
        CheckFolder(path);
        gathered = std::make_shared<const Gathered>(Gatherer(path, Gatherer::Source::Folder).run(only));
    } else if (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)) {
        if (S_ISREG(st.st_mode) && st.st_size == 0)
            throw Error(Format("%s: the file is empty", path.c_str()));
        if (S_ISREG(st.st_mode) && st.st_size < kMinImageSize)
            throw Error(Format("%s: too short for a DVD image (%lld bytes)", path.c_str(),
                               static_cast<long long>(st.st_size)));
        if (S_ISBLK(st.st_mode)) {
            gathered = std::make_shared<const Gathered>(GatherApart(path, only, kDriveTimeoutMs, true));
        } else if (std::shared_ptr<const Gathered> known = TheLastImage().find(st, only)) {
            if (only > 0) {
                auto one = std::make_shared<Gathered>();
                one->opened = known->opened;
                one->count = known->count;
                one->files[only] = known->files.at(only);
                gathered = std::move(one);
            } else {
                gathered = std::move(known);
            }
        } else {
            gathered = std::make_shared<const Gathered>(GatherImage(path, only));
            if (only == 0)
                TheLastImage().keep(st, gathered);
        }
    } else {
        throw Error(Format("%s: not a file, folder or drive", path.c_str()));
    }
    if (!gathered->opened)
        throw Error(Format("%s: libdvdread cannot open it", path.c_str()));

    auto disc = std::unique_ptr<DiscReader>(new DiscReader());
    disc->path_ = path;
    disc->files_ = std::shared_ptr<const std::map<int, TitleSetFile>>(gathered, &gathered->files);
    return disc;
}

std::vector<int> DiscReader::titleSetNumbers() const
{
    std::vector<int> numbers;
    for (const auto& entry : *files_)
        numbers.push_back(entry.first);
    return numbers;
}

bool DiscReader::hasTitleSet(int titleSet) const
{
    const auto it = files_->find(titleSet);
    return it != files_->end() && it->second.state != State::Missing;
}

const std::string& DiscReader::readTitleSet(int titleSet) const
{
    const auto it = files_->find(titleSet);
    if (it == files_->end() || it->second.state == State::Missing)
        throw Error(Format("%s: %s is not there", path_.c_str(), IfoName(titleSet).c_str()));
    if (it->second.state == State::Failed)
        throw Error(Format("%s: %s", path_.c_str(), it->second.reason.c_str()));
    return it->second.bytes;
}

}  // namespace pelvano
