#include "ifo/title_set.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "base/error.h"
#include "base/format.h"
#include "ifo/ifo_bytes.h"
#include "ifo/ifo_precheck.h"

namespace pelvano {

namespace {

// Where the VTSI_MAT keeps what we read.
constexpr uint64_t kVideoAttributes = 512;
constexpr uint64_t kAudioCount = 0x203;
constexpr uint64_t kAudioAttributes = 0x204;
constexpr uint64_t kSubPictureCount = 0x255;
constexpr uint64_t kSubPictureAttributes = 0x256;

// The header has room for no more; a larger count is read as these.
constexpr size_t kMaxAudio = 8;
constexpr size_t kMaxSubPictures = 32;

// Inside a program chain.
constexpr uint64_t kCellCount = 3;
constexpr uint64_t kProgramCount = 2;
constexpr uint64_t kPlaybackTime = 4;
constexpr uint64_t kProgramMapOffset = 0xE6;
constexpr uint64_t kCellPlaybackOffset = 0xE8;
constexpr uint64_t kCellPositionOffset = 0xEA;
constexpr uint64_t kCellPlaybackSize = 24;
constexpr uint64_t kCellPositionSize = 4;

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

uint8_t FromBcd(uint32_t v)
{
    return static_cast<uint8_t>((v >> 4) * 10 + (v & 0x0f));
}

// The frame byte's top two bits are the frame rate, not part of the count.
IfoTime TimeAt(const IfoBytes& img, uint64_t at)
{
    return IfoTime{FromBcd(img.u8(at)), FromBcd(img.u8(at + 1)), FromBcd(img.u8(at + 2)),
                   FromBcd(img.u8(at + 3) & 0x3f)};
}

AudioAttributes AudioAt(const IfoBytes& img, uint64_t at)
{
    const uint32_t b0 = img.u8(at);
    const uint32_t b1 = img.u8(at + 1);
    AudioAttributes a;
    a.format = static_cast<uint8_t>(b0 >> 5);
    a.languageType = static_cast<uint8_t>((b0 >> 2) & 3);
    a.quantization = static_cast<uint8_t>(b1 >> 6);
    a.sampleFrequency = static_cast<uint8_t>((b1 >> 4) & 3);
    a.channels = static_cast<uint8_t>(b1 & 7);
    a.languageCode = static_cast<uint16_t>(img.u16(at + 2));
    return a;
}

Pgc PgcAt(const IfoBytes& img, uint64_t at)
{
    Pgc pgc;
    pgc.time = TimeAt(img, at + kPlaybackTime);
    const uint32_t cells = img.u8(at + kCellCount);
    const uint32_t playback = img.u16(at + kCellPlaybackOffset);
    const uint32_t position = img.u16(at + kCellPositionOffset);
    if (cells != 0 && playback != 0 && position != 0) {
        std::vector<CellBlock> blocks;
        for (uint32_t c = 0; c < cells; ++c) {
            const uint64_t play = at + playback + c * kCellPlaybackSize;
            const uint64_t pos = at + position + c * kCellPositionSize;
            const uint32_t flags = img.u8(play);
            blocks.push_back(
                CellBlock{static_cast<uint8_t>(flags >> 6), static_cast<uint8_t>((flags >> 4) & 3)});
            IfoCell cell;
            cell.vobId = static_cast<uint16_t>(img.u16(pos));
            cell.cellId = static_cast<uint8_t>(img.u8(pos + 3));
            cell.length = TimeAt(img, play + kPlaybackTime);
            pgc.cells.push_back(cell);
        }
        const std::vector<uint8_t> angles = AngleBytes(blocks);
        for (size_t c = 0; c < pgc.cells.size(); ++c)
            pgc.cells[c].angle = angles[c];
    }
    const uint32_t programs = img.u8(at + kProgramCount);
    const uint32_t programMap = img.u16(at + kProgramMapOffset);
    if (programs != 0 && programMap != 0) {
        for (uint32_t p = 0; p < programs; ++p)
            pgc.programMap.push_back(static_cast<uint8_t>(img.u8(at + programMap + p)));
    }
    return pgc;
}

std::vector<std::vector<PartOfTitle>> TitlePartsAt(const IfoBytes& img, uint64_t base)
{
    std::vector<std::vector<PartOfTitle>> titles;
    for (const TitlePartsRange& range : TitlePartsRanges(img, base)) {
        std::vector<PartOfTitle>& title = titles.emplace_back();
        for (uint32_t j = 0; j < range.parts; ++j) {
            const uint64_t entry = base + range.start + uint64_t{j} * 4;
            title.push_back(PartOfTitle{static_cast<uint16_t>(img.u16(entry)),
                                        static_cast<uint16_t>(img.u16(entry + 2))});
        }
    }
    return titles;
}

}  // namespace

std::string DescribeAudio(const AudioAttributes& a)
{
    static constexpr std::array<const char*, 8> kFormats = {"AC-3", "unknown format", "MPEG-1", "MPEG-2 ext",
                                                            "LPCM", "unknown format", "DTS",    "SDDS"};
    std::string text = kFormats[a.format & 7];
    if ((a.format & 7) == 4) {
        static constexpr std::array<const char*, 4> kBits = {"16 bit", "20 bit", "24 bit", "DRC"};
        text += Format(" %s", kBits[a.quantization & 3]);
    }
    text += Format(", %u ch", static_cast<unsigned>(a.channels) + 1);
    switch (a.sampleFrequency) {
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
    text += ", " + DescribeLanguage(a.languageType == 1, a.languageCode);
    return text;
}

std::string DescribeSubPicture(uint8_t languageType, uint16_t languageCode)
{
    return DescribeLanguage(languageType == 1, languageCode);
}

std::vector<uint8_t> AngleBytes(const std::vector<CellBlock>& cells)
{
    constexpr uint8_t kAngleBlock = 1, kFirst = 1, kLast = 3, kNotInBlock = 0;
    const size_t n = cells.size();
    std::vector<uint8_t> angles(n, 0x11);
    size_t i = 0;
    while (i < n) {
        const CellBlock& cell = cells[i];
        if (cell.type != kAngleBlock || cell.mode == kNotInBlock) {
            ++i;
            continue;
        }
        // The block runs to its last cell; a block without one ends where the
        // next block starts or the angle marking stops.
        size_t end = i + 1;
        if (cell.mode != kLast) {
            while (end < n) {
                const CellBlock& next = cells[end];
                if (next.type != kAngleBlock || next.mode == kFirst || next.mode == kNotInBlock)
                    break;
                ++end;
                if (next.mode == kLast)
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

TitleSet ParseTitleSet(std::string_view bytes)
{
    if (const std::optional<std::string> problem = CheckIfoTables(bytes))
        throw Error(*problem);
    const IfoBytes img(bytes);
    TitleSet set;
    set.videoAttributes = {static_cast<uint8_t>(img.u8(kVideoAttributes)),
                           static_cast<uint8_t>(img.u8(kVideoAttributes + 1))};

    const size_t audioCount = std::min<size_t>(img.u8(kAudioCount), kMaxAudio);
    for (size_t i = 0; i < audioCount; ++i)
        set.audio.push_back(DescribeAudio(AudioAt(img, kAudioAttributes + i * 8)));
    const size_t subCount = std::min<size_t>(img.u8(kSubPictureCount), kMaxSubPictures);
    for (size_t i = 0; i < subCount; ++i) {
        const uint64_t at = kSubPictureAttributes + i * 6;
        set.subPictures.push_back(
            DescribeSubPicture(static_cast<uint8_t>(img.u8(at) & 3), static_cast<uint16_t>(img.u16(at + 2))));
    }

    // A search pointer is 8 bytes; its last four are the chain's offset from
    // the table's start. Pointers may share a chain.
    const uint64_t pgcit = img.sectorAt(ifo_field::kPgcit);
    const uint32_t pgcCount = img.u16(pgcit);
    for (uint32_t p = 0; p < pgcCount; ++p)
        set.pgcs.push_back(PgcAt(img, pgcit + img.u32(pgcit + 8 + uint64_t{p} * 8 + 4)));

    set.titleParts = TitlePartsAt(img, img.sectorAt(ifo_field::kPttSrpt));
    return set;
}

}  // namespace pelvano
