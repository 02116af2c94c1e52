#include "ifo/ifo_precheck.h"

#include "base/error.h"
#include "base/format.h"
#include "ifo/ifo_bytes.h"

namespace pelvano {

namespace {

// Tables the library copies through stack buffers sized by the file.
constexpr uint64_t kMaxStackTable = 1u << 20;

constexpr size_t kPgcSize = 236;
constexpr size_t kCellPlaybackSize = 24;
constexpr size_t kCellPositionSize = 4;
constexpr size_t kCommandSize = 8;

using Problem = std::optional<std::string>;

// A table that starts with a count (2 bytes), 2 spare bytes and the offset
// of its last byte (4 bytes).
Problem CheckCountedTable(const IfoBytes& img, uint64_t base, const char* name, uint64_t* end)
{
    if (!img.holds(base, 8))
        return Format("%s starts past the end of the file", name);
    const uint64_t length = uint64_t{img.u32(base + 4)} + 1;
    if (length < 8 || !img.holds(base, length))
        return Format("%s runs past the end of the file", name);
    *end = base + length;
    return {};
}

Problem CheckPgc(const IfoBytes& img, uint64_t pgc)
{
    if (!img.holds(pgc, kPgcSize))
        return std::string("a program chain lies past the end of the file");
    const uint32_t programs = img.u8(pgc + 2);
    const uint32_t cells = img.u8(pgc + 3);
    const uint32_t commands = img.u16(pgc + 0xE4);
    const uint32_t programMap = img.u16(pgc + 0xE6);
    const uint32_t playback = img.u16(pgc + 0xE8);
    const uint32_t position = img.u16(pgc + 0xEA);
    if (commands != 0) {
        if (!img.holds(pgc + commands, 8))
            return std::string("a command table lies past the end of the file");
        const uint64_t count =
            uint64_t{img.u16(pgc + commands)} + img.u16(pgc + commands + 2) + img.u16(pgc + commands + 4);
        if (!img.holds(pgc + commands + 8, count * kCommandSize))
            return std::string("a command table runs past the end of the file");
    }
    if (programMap != 0 && programs != 0 && !img.holds(pgc + programMap, programs))
        return std::string("a program map runs past the end of the file");
    if (playback != 0 && cells != 0 && !img.holds(pgc + playback, cells * kCellPlaybackSize))
        return std::string("a cell playback table runs past the end of the file");
    if (position != 0 && cells != 0 && !img.holds(pgc + position, cells * kCellPositionSize))
        return std::string("a cell position table runs past the end of the file");
    return {};
}

// A counted table of 8-byte entries whose last four bytes are the offset
// of a sub-table from the table's start; each sub-table must pass `check`.
template <typename Check>
Problem CheckDirectory(const IfoBytes& img, uint64_t base, const char* name, Check check)
{
    uint64_t end = 0;
    if (Problem p = CheckCountedTable(img, base, name, &end))
        return p;
    const uint32_t count = img.u16(base);
    if (uint64_t{count} * 8 + 8 > end - base)
        return Format("%s holds more entries than it has room for", name);
    for (uint32_t i = 0; i < count; ++i) {
        if (Problem p = check(base + img.u32(base + 8 + uint64_t{i} * 8 + 4)))
            return p;
    }
    return {};
}

// A program chain table. Every chain in it must be readable: the library
// shares one chain between search pointers with the same start and trips
// over a shared chain that it failed to read.
Problem CheckPgcit(const IfoBytes& img, uint64_t base, const char* name)
{
    return CheckDirectory(img, base, name, [&](uint64_t pgc) { return CheckPgc(img, pgc); });
}

Problem CheckPtt(const IfoBytes& img, uint64_t base)
{
    if (!img.holds(base, 8))
        return std::string("the chapter table starts past the end of the file");
    const uint32_t count = img.u16(base);
    const uint64_t length = img.tableLength(base, 4);
    if (count == 0 || uint64_t{count} * 4 + 8 > length || !img.holds(base, length))
        return std::string("the chapter table runs past the end of the file");
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t start = img.u32(base + 8 + uint64_t{i} * 4);
        // Entries past the table's end are dropped by the library; the ones
        // it keeps must not point back into the table's header.
        if (start + 4 <= length && start < uint64_t{count} * 4 + 8)
            return std::string("the chapter table points into its own header");
    }
    // Titles whose parts overlap would have us hold far more parts than the
    // table has room for (gigabytes from a file of megabytes).
    uint64_t parts = 0;
    for (const TitlePartsRange& title : TitlePartsRanges(img, base))
        parts += title.parts;
    if (parts * 4 > length)
        return std::string("the chapter table's titles overlap");
    return {};
}

Problem CheckMenus(const IfoBytes& img, uint64_t base)
{
    return CheckDirectory(img, base, "the menu table", [&](uint64_t pgcit) {
        return CheckPgcit(img, pgcit, "a menu program chain table");
    });
}

Problem CheckTimeMaps(const IfoBytes& img, uint64_t base)
{
    if (!img.holds(base, 8))
        return std::string("the time map table starts past the end of the file");
    const uint32_t count = img.u16(base);
    if (!img.holds(base + 8, uint64_t{count} * 4))
        return std::string("the time map table runs past the end of the file");
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t map = base + img.u32(base + 8 + uint64_t{i} * 4);
        if (!img.holds(map, 4) || !img.holds(map + 4, uint64_t{img.u16(map + 2)} * 4))
            return std::string("a time map runs past the end of the file");
    }
    return {};
}

// Cell address tables and VOBU maps: read whole into a stack buffer.
Problem CheckFlatTable(const IfoBytes& img, uint64_t base, size_t lastByteAt, uint64_t header,
                       const char* name)
{
    if (!img.holds(base, header))
        return Format("%s starts past the end of the file", name);
    const uint64_t length = uint64_t{img.u32(base + lastByteAt)} + 1;
    if (length < header || !img.holds(base, length))
        return Format("%s runs past the end of the file", name);
    if (length > kMaxStackTable)
        return Format("%s is implausibly large", name);
    return {};
}

}  // namespace

std::vector<TitlePartsRange> TitlePartsRanges(const IfoBytes& img, uint64_t base)
{
    const uint32_t count = img.u16(base);
    const uint64_t end = img.tableLength(base, 4);
    std::vector<uint64_t> starts;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t start = img.u32(base + 8 + uint64_t{i} * 4);
        if (start + 4 > end)
            break;
        starts.push_back(start);
    }
    std::vector<TitlePartsRange> titles;
    titles.reserve(starts.size());
    for (size_t i = 0; i < starts.size(); ++i) {
        const uint64_t next = i + 1 < starts.size() ? starts[i + 1] : end;
        titles.push_back({starts[i], static_cast<uint16_t>(next > starts[i] ? (next - starts[i]) / 4 : 0)});
    }
    return titles;
}

std::optional<std::string> CheckIfoTables(std::string_view bytes)
{
    if (bytes.size() > kMaxIfoSize)
        return std::string("the file is too large for an IFO file");
    // libdvdread reads whole sectors: a part sector at the end of the file is
    // not there for it, and a table reaching into it fails to read.
    const IfoBytes img(bytes);
    if (!img.holds(0, 0x400) || !img.startsWith("DVDVIDEO-VTS"))
        return std::string("the file is not a title-set IFO file");

    for (uint64_t field :
         {ifo_field::kPttSrpt, ifo_field::kPgcit, ifo_field::kCellAdt, ifo_field::kVobuAdmap}) {
        if (img.u32(field) == 0)
            return std::string("a mandatory table is missing");
    }
    if (Problem p = CheckPtt(img, img.sectorAt(ifo_field::kPttSrpt)))
        return p;
    if (Problem p = CheckPgcit(img, img.sectorAt(ifo_field::kPgcit), "the program chain table"))
        return p;
    if (img.u32(ifo_field::kMenuPgciUt) != 0) {
        if (Problem p = CheckMenus(img, img.sectorAt(ifo_field::kMenuPgciUt)))
            return p;
    }
    if (img.u32(ifo_field::kTmapt) != 0) {
        if (Problem p = CheckTimeMaps(img, img.sectorAt(ifo_field::kTmapt)))
            return p;
    }
    if (Problem p = CheckFlatTable(img, img.sectorAt(ifo_field::kCellAdt), 4, 8, "the cell address table"))
        return p;
    if (img.u32(ifo_field::kMenuCellAdt) != 0) {
        if (Problem p = CheckFlatTable(img, img.sectorAt(ifo_field::kMenuCellAdt), 4, 8,
                                       "the menu cell address table"))
            return p;
    }
    if (Problem p = CheckFlatTable(img, img.sectorAt(ifo_field::kVobuAdmap), 0, 4, "the VOBU address map"))
        return p;
    if (img.u32(ifo_field::kMenuVobuAdmap) != 0) {
        if (Problem p = CheckFlatTable(img, img.sectorAt(ifo_field::kMenuVobuAdmap), 0, 4,
                                       "the menu VOBU address map"))
            return p;
    }
    return {};
}

std::optional<std::string> CheckTitleTable(std::string_view bytes)
{
    constexpr uint64_t kVmgiMatSize = 510;
    if (bytes.size() > kMaxIfoSize)
        return std::string("the file is too large for an IFO file");
    const IfoBytes img(bytes);
    if (!img.holds(0, kVmgiMatSize) || !img.startsWith("DVDVIDEO-VMG"))
        return std::string("the file is not a video manager IFO file");
    if (img.u32(ifo_field::kTitleTable) == 0)
        return std::string("the title table is missing");
    const uint64_t base = img.sectorAt(ifo_field::kTitleTable);
    if (!img.holds(base, 8))
        return std::string("the title table starts past the end of the file");
    const uint64_t length = img.tableLength(base, 12);
    if (length <= 8)
        return std::string("the title table holds no titles");
    if (!img.holds(base, length))
        return std::string("the title table runs past the end of the file");
    return {};
}

}  // namespace pelvano
