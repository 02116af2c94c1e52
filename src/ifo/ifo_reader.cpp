#include "ifo/ifo_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "base/error.h"
#include "ifo/ifo_precheck.h"

namespace pelvano {

namespace {

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

bool IsVideoManagerName(const std::string& path)
{
    std::string upper = path.substr(path.rfind('/') + 1);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper == "VIDEO_TS.IFO" || upper == "VIDEO_TS.BUP";
}

std::unique_ptr<IfoReader> Parse(const std::string& bytes, std::string* why)
{
    try {
        auto reader = std::make_unique<IfoReader>(ParseTitleSet(bytes));
        if (why)
            why->clear();
        return reader;
    } catch (const Error& e) {
        if (why)
            *why = e.what();
        return nullptr;
    }
}

}  // namespace

std::unique_ptr<IfoReader> IfoReader::Open(const std::string& path, std::string* why)
{
    auto fail = [why](const std::string& reason) -> std::unique_ptr<IfoReader> {
        if (why)
            *why = reason;
        return nullptr;
    };
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return fail("");
    if (IsVideoManagerName(path))
        return fail("This is the disc's menu file, which holds no titles: open one of the "
                    "VTS_nn_0.IFO files beside it.");
    // Sized from the file: clearing a buffer of the largest size we take
    // would cost more than the whole load. Plain read(2): a file stream
    // would set up the C++ locale first, which costs a command-line run more
    // than reading the file.
    std::string bytes(static_cast<size_t>(std::min<uintmax_t>(st.st_size, kMaxIfoSize + 1)), '\0');
    if (!ReadUpTo(path.c_str(), bytes))
        return fail("");
    return Parse(bytes, why);
}

std::unique_ptr<IfoReader> IfoReader::FromBytes(const std::string& image, int /*titleSet*/, std::string* why)
{
    return Parse(image, why);
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
                     const std::shared_ptr<const void>& /*unused*/)
{
    std::map<int, std::unique_ptr<IfoReader>> readers;
    for (const auto& [number, image] : images) {
        std::string reason;
        readers[number] = Parse(*image, &reason);
        if (why && !reason.empty())
            (*why)[number] = reason;
    }
    return readers;
}

uint32_t IfoReader::pgcInfo(uint32_t pgc, IfoTime* time) const
{
    if (pgc >= set_.pgcs.size()) {
        if (time)
            *time = IfoTime{};
        return 0;
    }
    if (time)
        *time = set_.pgcs[pgc].time;
    return static_cast<uint32_t>(set_.pgcs[pgc].cells.size());
}

const std::vector<IfoCell>& IfoReader::pgcCells(uint32_t pgc) const
{
    static const std::vector<IfoCell> kNone;
    return pgc < set_.pgcs.size() ? set_.pgcs[pgc].cells : kNone;
}

const std::vector<uint8_t>& IfoReader::programMap(uint32_t pgc) const
{
    static const std::vector<uint8_t> kNone;
    return pgc < set_.pgcs.size() ? set_.pgcs[pgc].programMap : kNone;
}

}  // namespace pelvano
