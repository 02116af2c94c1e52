#include "ifo/ifo_reader.h"

#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>
#include <dvdread/ifo_types.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>

#include "base/error.h"
#include "base/format.h"
#include "ifo/ifo_precheck.h"
#include "ifo/memory_disc.h"
#include "ifo/own_folder.h"
#include "base/posix_io.h"

namespace pelvano {

namespace detail {
thread_local bool gOpeningOwnFolder = false;
}

namespace {

// libdvdread reports through this; a damaged file is ours to report, so
// its chatter never reaches the terminal.
void QuietLog(void*, dvd_logger_level_t, const char*, va_list) {}
const dvd_logger_cb kQuietLogger = {QuietLog};

uint8_t FromBcd(uint8_t v)
{
    return static_cast<uint8_t>((v >> 4) * 10 + (v & 0x0f));
}

IfoTime DecodeTime(const dvd_time_t& t)
{
    return IfoTime{FromBcd(t.hour), FromBcd(t.minute), FromBcd(t.second),
                   FromBcd(static_cast<uint8_t>(t.frame_u & 0x3f))};
}

struct Language {
    const char* code;
    const char* name;
};

constexpr Language kLanguages[] = {
    {"ar", "Arabic"},     {"bg", "Bulgarian"}, {"ca", "Catalan"},  {"cs", "Czech"},     {"da", "Danish"},
    {"de", "German"},     {"el", "Greek"},     {"en", "English"},  {"es", "Spanish"},   {"et", "Estonian"},
    {"eu", "Basque"},     {"fa", "Persian"},   {"fi", "Finnish"},  {"fr", "French"},    {"ga", "Irish"},
    {"he", "Hebrew"},     {"hi", "Hindi"},     {"hr", "Croatian"}, {"hu", "Hungarian"}, {"id", "Indonesian"},
    {"is", "Icelandic"},  {"it", "Italian"},   {"ja", "Japanese"}, {"ko", "Korean"},    {"lt", "Lithuanian"},
    {"lv", "Latvian"},    {"ms", "Malay"},     {"nl", "Dutch"},    {"no", "Norwegian"}, {"pl", "Polish"},
    {"pt", "Portuguese"}, {"ro", "Romanian"},  {"ru", "Russian"},  {"sk", "Slovak"},    {"sl", "Slovenian"},
    {"sr", "Serbian"},    {"sv", "Swedish"},   {"th", "Thai"},     {"tr", "Turkish"},   {"uk", "Ukrainian"},
    {"vi", "Vietnamese"}, {"zh", "Chinese"},
};

// "English (en)", the bare code for one we have no name for, or a plain
// word when the stream carries no language.
std::string DescribeLanguage(bool present, uint16_t code)
{
    const char c1 = static_cast<char>(code >> 8);
    const char c2 = static_cast<char>(code & 0xff);
    if (!present || !std::isalpha(static_cast<unsigned char>(c1)) ||
        !std::isalpha(static_cast<unsigned char>(c2)))
        return "language not specified";
    const char lower[3] = {static_cast<char>(std::tolower(static_cast<unsigned char>(c1))),
                           static_cast<char>(std::tolower(static_cast<unsigned char>(c2))), 0};
    for (const Language& lang : kLanguages) {
        if (lower[0] == lang.code[0] && lower[1] == lang.code[1])
            return Format("%s (%s)", lang.name, lower);
    }
    return Format("language %s", lower);
}

std::string DescribeAudio(const audio_attr_t& a)
{
    static constexpr std::array<const char*, 8> kFormats = {"AC-3", "unknown format", "MPEG-1", "MPEG-2 ext",
                                                            "LPCM", "unknown format", "DTS",    "SDDS"};
    std::string text = kFormats[a.audio_format & 7];
    if ((a.audio_format & 7) == 4) {
        static constexpr std::array<const char*, 4> kBits = {"16 bit", "20 bit", "24 bit", "DRC"};
        text += Format(" %s", kBits[a.quantization & 3]);
    }
    text += Format(", %u ch", static_cast<unsigned>(a.channels) + 1);
    switch (a.sample_frequency) {
    case 0:
        text += ", 48 kHz";
        break;
    case 1:
        text += ", 96 kHz";
        break;
    default:
        text += ", unknown rate";
        break;
    }
    text += ", " + DescribeLanguage(a.lang_type == 1, a.lang_code);
    return text;
}

std::string DescribeSubPicture(const subp_attr_t& s)
{
    return DescribeLanguage(s.type == 1, s.lang_code);
}

// Memory-backed folders first: the folder lives for one load, and making
// and removing it on a disk costs more than the whole load.
std::string TempRoot()
{
    for (const char* candidate : {static_cast<const char*>(std::getenv("XDG_RUNTIME_DIR")), "/dev/shm"}) {
        if (candidate && *candidate && access(candidate, W_OK | X_OK) == 0)
            return candidate;
    }
    for (const char* name : {"TMPDIR", "TMP", "TEMP", "TEMPDIR"}) {
        if (const char* value = std::getenv(name); value && *value) {
            struct stat st;
            return ::stat(value, &st) == 0 && S_ISDIR(st.st_mode) ? std::string(value) : std::string("/tmp");
        }
    }
    return "/tmp";
}

// A private folder holding one title set under the name libdvdread looks
// for: a link to the user's file, so that any file name opens and nothing
// else in the user's folder (a BUP standing in for a damaged IFO) is read
// instead of the file asked for; or a copy of bytes read from a disc, so
// that the library parses exactly the bytes we checked.
class TitleFolder {
public:
    TitleFolder()
    {
        std::string pattern = TempRoot() + "/pelvano-XXXXXX";
        if (mkdtemp(pattern.data()))
            dir_ = pattern;
    }
    ~TitleFolder()
    {
        for (const std::string& file : files_)
            unlink(file.c_str());
        if (!dir_.empty())
            rmdir(dir_.c_str());
    }
    TitleFolder(const TitleFolder&) = delete;
    TitleFolder& operator=(const TitleFolder&) = delete;

    bool link(const std::string& target, const std::string& name)
    {
        if (dir_.empty())
            return false;
        const std::string file = dir_ + "/" + name;
        if (symlink(target.c_str(), file.c_str()) != 0)
            return false;
        files_.push_back(file);
        return true;
    }
    bool write(const std::string& bytes, const std::string& name)
    {
        if (dir_.empty())
            return false;
        const std::string file = dir_ + "/" + name;
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        files_.push_back(file);
        const bool written = detail::WriteAll(fd, bytes.data(), bytes.size());
        return ::close(fd) == 0 && written;
    }

    const std::string& dir() const { return dir_; }

private:
    std::string dir_;
    std::vector<std::string> files_;
};

struct DvdCloser {
    void operator()(dvd_reader_t* dvd) const { DVDClose(dvd); }
};
struct IfoCloser {
    void operator()(ifo_handle_t* ifo) const { ifoClose(ifo); }
};

std::unique_ptr<dvd_reader_t, DvdCloser> OpenOwnFolder(const TitleFolder& folder)
{
    const detail::OpeningOwnFolder own;
    return std::unique_ptr<dvd_reader_t, DvdCloser>(DVDOpen2(nullptr, &kQuietLogger, folder.dir().c_str()));
}

// Fills `bytes` from the start of the file, as far as the file goes (its
// size is cut to what was read).
bool ReadUpTo(const char* path, std::string& bytes)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    bytes.resize(got);
    return true;
}

// Title-set number from a standard name: VTS_nn_0.IFO -> nn, VIDEO_TS.IFO
// -> 0, anything else -> -1.
int TitleSetNumber(const std::string& name)
{
    std::string upper;
    for (char c : name)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper == "VIDEO_TS.IFO" || upper == "VIDEO_TS.BUP")
        return 0;
    if (upper.size() == 12 && upper.compare(0, 4, "VTS_") == 0 &&
        std::isdigit(static_cast<unsigned char>(upper[4])) &&
        std::isdigit(static_cast<unsigned char>(upper[5])) && upper.compare(6, 3, "_0.") == 0 &&
        (upper.compare(9, 3, "IFO") == 0 || upper.compare(9, 3, "BUP") == 0)) {
        const int n = (upper[4] - '0') * 10 + (upper[5] - '0');
        return n >= 1 ? n : -1;
    }
    return -1;
}

// Angle bytes for the cells of one PGC: 0x11 outside angle blocks; inside,
// (cells in block << 4) | 1-based position.
std::vector<uint8_t> AngleBytes(const pgc_t& pgc)
{
    const size_t n = pgc.nr_of_cells;
    std::vector<uint8_t> angles(n, 0x11);
    size_t i = 0;
    while (i < n) {
        const cell_playback_t& cell = pgc.cell_playback[i];
        if (cell.block_type != BLOCK_TYPE_ANGLE_BLOCK || cell.block_mode == BLOCK_MODE_NOT_IN_BLOCK) {
            ++i;
            continue;
        }
        // The block runs to its last cell; a block without one ends where the
        // next block starts or the angle marking stops.
        size_t end = i + 1;
        if (cell.block_mode != BLOCK_MODE_LAST_CELL) {
            while (end < n) {
                const cell_playback_t& next = pgc.cell_playback[end];
                if (next.block_type != BLOCK_TYPE_ANGLE_BLOCK || next.block_mode == BLOCK_MODE_FIRST_CELL ||
                    next.block_mode == BLOCK_MODE_NOT_IN_BLOCK)
                    break;
                ++end;
                if (next.block_mode == BLOCK_MODE_LAST_CELL)
                    break;
            }
        }
        // A nibble holds at most 15; more cells than that is no real block.
        const size_t count = std::min<size_t>(end - i, 15);
        for (size_t k = i; k < end; ++k) {
            const size_t pos = std::min<size_t>(k - i + 1, 15);
            angles[k] = static_cast<uint8_t>((count << 4) | pos);
        }
        i = end;
    }
    return angles;
}

}  // namespace

std::unique_ptr<IfoReader> IfoReader::Open(const std::string& path, std::string* why)
{
    auto fail = [why](const std::string& reason) -> std::unique_ptr<IfoReader> {
        if (why)
            *why = reason;
        return nullptr;
    };
    if (why)
        why->clear();

    if (path.empty())
        return fail("");
    std::string absolute = path;
    if (path[0] != '/') {
        char cwd[PATH_MAX];
        if (!::getcwd(cwd, sizeof cwd))
            return fail("");
        const size_t length = std::strlen(cwd);
        absolute = std::string(cwd, length) + (length && cwd[length - 1] == '/' ? "" : "/") + path;
    }
    struct stat st;
    if (::stat(absolute.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return fail("");

    const int number = TitleSetNumber(absolute.substr(absolute.rfind('/') + 1));
    if (number == 0)
        return fail("This is the disc's menu file, which holds no titles: open one of the "
                    "VTS_nn_0.IFO files beside it.");

    std::string image;
    {
        // Sized from the file: clearing a buffer of the largest size we take
        // would cost more than the whole load.
        const uintmax_t size = static_cast<uintmax_t>(st.st_size);
        // Plain read(2): a file stream would set up the C++ locale first,
        // which costs a command-line run more than reading the file.
        image.resize(static_cast<size_t>(std::min<uintmax_t>(size, kMaxIfoSize + 1)));
        if (!ReadUpTo(absolute.c_str(), image))
            return fail("");
    }
    if (const std::optional<std::string> problem = CheckIfoTables(image))
        return fail(*problem);

    const int title = number > 0 ? number : 1;
    TitleFolder folder;
    if (!folder.link(absolute, Format("VTS_%02d_0.IFO", title)))
        return fail("");
    const std::unique_ptr<dvd_reader_t, DvdCloser> dvd = OpenOwnFolder(folder);
    return dvd ? Parse(image, title, dvd.get()) : nullptr;
}

namespace {

// The title sets of the last disc parsed, by number with their bytes: a
// load right after the listing finds its title set here. The same bytes
// always parse the same way, so a match needs no other key.
struct ParsedTitleSet {
    const std::string* bytes;
    std::shared_ptr<const void> owner;  // of `bytes`
    std::unique_ptr<IfoReader> reader;
};
std::mutex gParsedMutex;
std::map<int, ParsedTitleSet> gParsed;

}  // namespace

std::unique_ptr<IfoReader> IfoReader::FromBytes(const std::string& image, int titleSet, std::string* why)
{
    {
        const std::lock_guard<std::mutex> lock(gParsedMutex);
        const auto it = gParsed.find(titleSet);
        if (it != gParsed.end() && (it->second.bytes == &image || *it->second.bytes == image)) {
            if (why)
                why->clear();
            return std::make_unique<IfoReader>(*it->second.reader);
        }
    }
    std::map<int, std::string> reasons;
    std::map<int, std::unique_ptr<IfoReader>> readers = FromBytes({{titleSet, image}}, &reasons);
    if (why)
        *why = reasons[titleSet];
    return std::move(readers[titleSet]);
}

std::map<int, std::unique_ptr<IfoReader>> IfoReader::FromBytes(const std::map<int, std::string>& images,
                                                               std::map<int, std::string>* why)
{
    std::map<int, const std::string*> where;
    for (const auto& [number, image] : images)
        where[number] = &image;
    return FromBytes(where, why);
}

std::map<int, std::unique_ptr<IfoReader>>
IfoReader::FromBytes(const std::map<int, const std::string*>& images, std::map<int, std::string>* why,
                     const std::shared_ptr<const void>& owner)
{
    std::map<int, std::unique_ptr<IfoReader>> readers;
    // One image (or folder) and one library handle for all: the library
    // reads VTS_nn_0.IFO for title nn only.
    std::map<int, const std::string*> checked;
    for (const auto& [number, image] : images) {
        readers[number] = nullptr;
        if (const std::optional<std::string> problem = CheckIfoTables(*image)) {
            if (why)
                (*why)[number] = *problem;
        } else if (number >= 1 && number <= 99) {
            checked[number] = image;
        }
    }
    if (checked.empty())
        return readers;
    // Both outlive the library handle that reads them.
    const MemoryDisc disc(checked);
    std::optional<TitleFolder> folder;
    std::unique_ptr<dvd_reader_t, DvdCloser> dvd;
    std::vector<int> sound;
    if (disc.ok()) {
        // Our own image, as plain as our own folder (see OpenOwnFolder).
        const detail::OpeningOwnFolder own;
        dvd.reset(DVDOpen2(nullptr, &kQuietLogger, disc.path().c_str()));
        for (const auto& entry : checked)
            sound.push_back(entry.first);
    }
    // Without the image (no memfd, no /proc, sizes in part blocks), a folder.
    if (!dvd) {
        sound.clear();
        folder.emplace();
        for (const auto& [number, image] : checked) {
            if (folder->write(*image, Format("VTS_%02d_0.IFO", number)))
                sound.push_back(number);
        }
        if (sound.empty())
            return readers;
        dvd = OpenOwnFolder(*folder);
        if (!dvd)
            return readers;
    }
    for (int number : sound)
        readers[number] = Parse(*images.at(number), number, dvd.get());
    if (owner && images.size() > 1) {
        const std::lock_guard<std::mutex> lock(gParsedMutex);
        gParsed.clear();
        for (const auto& [number, reader] : readers) {
            if (reader)
                gParsed[number] =
                    ParsedTitleSet{images.at(number), owner, std::make_unique<IfoReader>(*reader)};
        }
    }
    return readers;
}

std::unique_ptr<IfoReader> IfoReader::Parse(const std::string& image, int title, dvd_reader_s* dvd)
{
    auto reader = std::unique_ptr<IfoReader>(new IfoReader());
    reader->video_[0] = static_cast<uint8_t>(image[512]);
    reader->video_[1] = static_cast<uint8_t>(image[513]);

    std::unique_ptr<ifo_handle_t, IfoCloser> ifo(ifoOpen(dvd, title));
    if (!ifo || !ifo->vtsi_mat || !ifo->vts_pgcit)
        return nullptr;

    const vtsi_mat_t& mat = *ifo->vtsi_mat;
    const size_t audioCount = std::min<size_t>(mat.nr_of_vts_audio_streams, 8);
    for (size_t i = 0; i < audioCount; ++i)
        reader->audio_.push_back(DescribeAudio(mat.vts_audio_attr[i]));
    const size_t subCount = std::min<size_t>(mat.nr_of_vts_subp_streams, 32);
    for (size_t i = 0; i < subCount; ++i)
        reader->subPictures_.push_back(DescribeSubPicture(mat.vts_subp_attr[i]));

    const pgcit_t& pgcit = *ifo->vts_pgcit;
    for (size_t p = 0; p < pgcit.nr_of_pgci_srp; ++p) {
        Pgc out;
        const pgc_t* pgc = pgcit.pgci_srp ? pgcit.pgci_srp[p].pgc : nullptr;
        if (pgc) {
            out.time = DecodeTime(pgc->playback_time);
            if (pgc->cell_playback && pgc->cell_position) {
                const std::vector<uint8_t> angles = AngleBytes(*pgc);
                for (size_t c = 0; c < pgc->nr_of_cells; ++c) {
                    IfoCell cell;
                    cell.vobId = pgc->cell_position[c].vob_id_nr;
                    cell.cellId = pgc->cell_position[c].cell_nr;
                    cell.angle = angles[c];
                    cell.length = DecodeTime(pgc->cell_playback[c].playback_time);
                    out.cells.push_back(cell);
                }
            }
            if (pgc->program_map)
                out.programMap.assign(pgc->program_map, pgc->program_map + pgc->nr_of_programs);
        }
        reader->pgcs_.push_back(std::move(out));
    }
    return reader;
}

uint32_t IfoReader::pgcInfo(uint32_t pgc, IfoTime* time) const
{
    if (pgc >= pgcs_.size()) {
        if (time)
            *time = IfoTime{};
        return 0;
    }
    if (time)
        *time = pgcs_[pgc].time;
    return static_cast<uint32_t>(pgcs_[pgc].cells.size());
}

const std::vector<IfoCell>& IfoReader::pgcCells(uint32_t pgc) const
{
    static const std::vector<IfoCell> kNone;
    return pgc < pgcs_.size() ? pgcs_[pgc].cells : kNone;
}

const std::vector<uint8_t>& IfoReader::programMap(uint32_t pgc) const
{
    static const std::vector<uint8_t> kNone;
    return pgc < pgcs_.size() ? pgcs_[pgc].programMap : kNone;
}

}  // namespace pelvano
