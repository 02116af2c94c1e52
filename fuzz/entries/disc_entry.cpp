#include "fuzz_entries.h"

#include <algorithm>
#include <optional>

#include "base/error.h"
#include "base/format.h"
#include "chapters/playlist_loader.h"
#include "chapters/source.h"
#include "chapters/title_loader.h"
#include "fuzz_support.h"

namespace pelvano::fuzz {

namespace {

// Images are mostly zeros; the input holds only the rest, so that mutations
// land on the bytes the UDF and IFO readers look at. Offsets wrap at 4 MiB.
constexpr size_t kMaxImage = 4u << 20;

std::string ExpandImage(const uint8_t* data, size_t size)
{
    std::string image;
    size_t pos = 0;
    while (pos + 6 <= size) {
        const size_t offset = (size_t{data[pos]} << 24 | size_t{data[pos + 1]} << 16 |
                               size_t{data[pos + 2]} << 8 | data[pos + 3]) %
                              kMaxImage;
        size_t length = size_t{data[pos + 4]} << 8 | data[pos + 5];
        pos += 6;
        length = std::min(length, size - pos);
        if (image.size() < offset + length)
            image.resize(offset + length, '\0');
        image.replace(offset, length, reinterpret_cast<const char*>(data + pos), length);
        pos += length;
    }
    return image;
}

// A listed playlist loads as listed: the default one and the last one.
void BlurayInput(const Source& source, const std::string& path)
{
    FUZZ_CHECK(source.titleSets().empty() && source.playlist(source.defaultPlaylist()));
    int previous = -1;
    for (const PlaylistSummary& p : source.playlists()) {
        FUZZ_CHECK(p.number > previous && p.number <= 99999);
        previous = p.number;
        FUZZ_CHECK(p.lengthMs <= source.playlist(source.defaultPlaylist())->lengthMs);
    }
    for (const int number : {source.defaultPlaylist(), source.playlists().back().number}) {
        const PlaylistSummary& p = *source.playlist(number);
        const LoadResult load = LoadPlaylist(source, number, LoadRequest());
        const std::string first = load.report.lines().at(0).text;
        FUZZ_CHECK_MSG(first == Format("Opening playlist %05d of %s OK.", number, path.c_str()), first);
        FUZZ_CHECK(load.model && load.titles && load.titles->empty());
        FUZZ_CHECK(load.chapterTotal == std::to_string(p.chapters));
        FUZZ_CHECK(load.model->cellStartsMs.size() == load.rows.size() + 1);
        FUZZ_CHECK(load.model->cellStartsMs.back() == p.lengthMs);
        FUZZ_CHECK(load.frameRate == (p.frameRate.empty() ? kUnknownPlaylistRate : p.frameRate));
        FUZZ_CHECK(std::is_sorted(load.model->cellStartsMs.begin(), load.model->cellStartsMs.end()));
    }
}

}  // namespace

void DiscInput(const uint8_t* data, size_t size)
{
    const std::string path = ScratchFile("disc.iso");
    WriteBytes(path, ExpandImage(data, size));

    std::optional<Source> source;
    try {
        source = Source::Open(path);
    } catch (const Error& e) {
        const std::string message = e.what();
        FUZZ_CHECK_MSG(message.rfind(path + ": ", 0) == 0, message);
        FUZZ_CHECK_MSG(message.find('\n') == std::string::npos, message);
        return;
    }

    if (source->isBluray()) {
        BlurayInput(*source, path);
        return;
    }
    const std::vector<TitleSetSummary>& sets = source->titleSets();
    FUZZ_CHECK(!sets.empty());
    FUZZ_CHECK(source->titleSet(source->defaultTitleSet()) != nullptr);
    int previous = 0;
    for (const TitleSetSummary& set : sets) {
        FUZZ_CHECK(set.number > previous && set.number <= 99);
        previous = set.number;
        FUZZ_CHECK(set.longestPgc < static_cast<int>(set.pgcs.size()));
        for (size_t p = 0; p < set.pgcs.size(); ++p)
            FUZZ_CHECK(set.pgcs[p].number == static_cast<int>(p) + 1);
    }

    // A listed title set loads as listed: same bytes, same reader. The
    // default one and the last one, as the window and a script would.
    for (const int number : {source->defaultTitleSet(), sets.back().number}) {
        const TitleSetSummary& set = *source->titleSet(number);
        const LoadResult load = LoadTitle(*source, number, LoadRequest());
        const std::string first = load.report.lines().at(0).text;
        FUZZ_CHECK_MSG(
            first == Format("Opening title set %d (VTS_%02d_0.IFO) of %s OK.", number, number, path.c_str()),
            first);
        FUZZ_CHECK(load.titles && load.titles->size() == set.pgcs.size());
        FUZZ_CHECK(load.selectedTitle == (set.pgcs.empty() ? -1 : set.longestPgc));
        FUZZ_CHECK(load.frameRate == set.frameRate);
        if (load.model) {
            const PgcSummary& pgc = set.pgcs[static_cast<size_t>(load.selectedTitle)];
            FUZZ_CHECK(load.rows.size() == pgc.cells);
            FUZZ_CHECK(load.chapterTotal == std::to_string(pgc.chapters));
        }
    }
}

}  // namespace pelvano::fuzz
