#include "chapters/source.h"

#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <map>

#include "base/error.h"
#include "base/format.h"
#include "ifo/disc_reader.h"
#include "ifo/ifo_reader.h"
#include "chapters/title_loader.h"

namespace pelvano {

namespace {

bool EndsWithNoCase(const std::string& text, const char* tail)
{
    const size_t n = std::strlen(tail);
    return text.size() >= n && strcasecmp(text.c_str() + text.size() - n, tail) == 0;
}

std::string BaseName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// VTS_nn_0.IFO / .BUP -> nn; 1 for any other name (the reader opens any name as title set 1).
int NumberFromName(const std::string& name)
{
    if (name.size() == 12 && strncasecmp(name.c_str(), "VTS_", 4) == 0 && std::isdigit(name[4]) &&
        std::isdigit(name[5])) {
        const int n = (name[4] - '0') * 10 + (name[5] - '0');
        if (n >= 1)
            return n;
    }
    return 1;
}

TitleSetSummary Summarize(const IfoReader& reader, int number)
{
    TitleSetSummary summary;
    summary.number = number;
    summary.ifoName = Format("VTS_%02d_0.IFO", number);
    const uint32_t rate = DefaultFrameRate(reader);
    summary.tvSystem = rate == 25000 ? "PAL" : "NTSC";
    summary.frameRate = std::to_string(rate);
    for (uint32_t p = 0; p < reader.pgcCount(); ++p) {
        IfoTime time;
        PgcSummary pgc;
        pgc.number = static_cast<int>(p) + 1;
        pgc.cells = reader.pgcInfo(p, &time);
        pgc.lengthMs = TimeToMs(time, rate);
        pgc.chapters = DefaultChapterCount(reader, p, rate);
        summary.pgcs.push_back(pgc);
    }
    if (!summary.pgcs.empty()) {
        summary.longestPgc = FindLongestPgc(&reader);
        IfoTime time;
        reader.pgcInfo(static_cast<uint32_t>(summary.longestPgc), &time);
        summary.longestKey = PgcLengthKey(time);
    }
    return summary;
}

}  // namespace

SourceKind Source::KindOf(const std::string& path)
{
    const struct stat st = StatSource(path);
    if (S_ISDIR(st.st_mode))
        return SourceKind::Folder;
    if (S_ISBLK(st.st_mode))
        return SourceKind::Device;
    if (!S_ISREG(st.st_mode))
        throw Error(Format("%s: not a file, folder or drive", path.c_str()));
    // A title set's navigation file goes the way it always went, whatever
    // its state or name; only other files are taken for images.
    if (EndsWithNoCase(path, ".IFO") || EndsWithNoCase(path, ".BUP"))
        return SourceKind::IfoFile;
    char head[12] = {};
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        const size_t got = std::fread(head, 1, sizeof head, file);
        std::fclose(file);
        if (got == sizeof head && std::memcmp(head, "DVDVIDEO-", 9) == 0)
            return SourceKind::IfoFile;
    }
    return SourceKind::Image;
}

Source Source::Open(const std::string& path)
{
    Source source;
    source.path_ = path;
    source.kind_ = KindOf(path);

    if (source.kind_ == SourceKind::IfoFile) {
        std::string why;
        const std::unique_ptr<IfoReader> reader = IfoReader::Open(path, &why);
        if (!reader)
            throw Error(Format("%s: not a readable title set%s%s", path.c_str(), why.empty() ? "" : ": ",
                               why.c_str()));
        TitleSetSummary summary = Summarize(*reader, NumberFromName(BaseName(path)));
        summary.ifoName = BaseName(path);
        source.titleSets_.push_back(std::move(summary));
        source.defaultTitleSet_ = source.titleSets_.front().number;
        return source;
    }

    const std::unique_ptr<DiscReader> disc = DiscReader::Open(path);
    const std::vector<int> numbers = disc->titleSetNumbers();
    std::map<int, const std::string*> images;
    for (int n : numbers) {
        if (!disc->hasTitleSet(n)) {
            source.problems_.push_back(Format("%s: VTS_%02d_0.IFO is not there", path.c_str(), n));
            continue;
        }
        try {
            images[n] = &disc->readTitleSet(n);
        } catch (const Error& e) {
            source.problems_.push_back(e.what());
        }
    }
    std::map<int, std::string> why;
    const std::map<int, std::unique_ptr<IfoReader>> readers =
        IfoReader::FromBytes(images, &why, disc->bytesOwner());
    int32_t bestKey = -1;
    for (const auto& [n, reader] : readers) {
        if (!reader) {
            source.problems_.push_back(Format("%s: VTS_%02d_0.IFO cannot be read%s%s", path.c_str(), n,
                                              why[n].empty() ? "" : ": ", why[n].c_str()));
            continue;
        }
        TitleSetSummary summary = Summarize(*reader, n);
        if (!summary.pgcs.empty() && summary.longestKey > bestKey) {
            bestKey = summary.longestKey;
            source.defaultTitleSet_ = n;
        }
        source.titleSets_.push_back(std::move(summary));
    }
    if (source.titleSets_.empty()) {
        if (numbers.empty())
            throw Error(
                Format("%s: no DVD-Video title set found (not a DVD, or a truncated image)", path.c_str()));
        if (source.problems_.size() == 1)
            throw Error(source.problems_.front());
        throw Error(Format("%s: none of the %zu title sets named on the disc can be read (%s)", path.c_str(),
                           numbers.size(), source.problems_.front().c_str()));
    }
    if (source.defaultTitleSet_ == 0)
        source.defaultTitleSet_ = source.titleSets_.front().number;
    return source;
}

const TitleSetSummary* Source::titleSet(int number) const
{
    for (const TitleSetSummary& t : titleSets_) {
        if (t.number == number)
            return &t;
    }
    return nullptr;
}

}  // namespace pelvano
