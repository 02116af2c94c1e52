#include "fuzz_entries.h"

#include <optional>

#include "base/error.h"
#include "base/format.h"
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
