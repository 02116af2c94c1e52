#include "ifo_writer.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <stdexcept>

namespace pelvano::test {

namespace {

constexpr uint32_t kPgcHeaderSize = 236;
constexpr uint32_t kCellPlaybackSize = 24;
constexpr uint32_t kCellPositionSize = 4;
constexpr uint32_t kCellAddressSize = 12;

class Buffer {
public:
    explicit Buffer(size_t size = 0) : bytes_(size, '\0') {}

    size_t size() const { return bytes_.size(); }
    void resize(size_t size) { bytes_.resize(size, '\0'); }
    void padToSector() { resize((size() + IfoImage::kSector - 1) / IfoImage::kSector * IfoImage::kSector); }

    void u8(size_t at, uint8_t v)
    {
        ensure(at + 1);
        bytes_[at] = static_cast<char>(v);
    }
    void u16(size_t at, uint16_t v)
    {
        u8(at, static_cast<uint8_t>(v >> 8));
        u8(at + 1, static_cast<uint8_t>(v));
    }
    void u32(size_t at, uint32_t v)
    {
        u16(at, static_cast<uint16_t>(v >> 16));
        u16(at + 2, static_cast<uint16_t>(v));
    }
    void raw(size_t at, const void* data, size_t n)
    {
        ensure(at + n);
        std::copy_n(static_cast<const char*>(data), n, bytes_.begin() + static_cast<std::ptrdiff_t>(at));
    }
    void append(const Buffer& other) { bytes_ += other.bytes_; }

    const std::string& str() const { return bytes_; }
    std::string& str() { return bytes_; }

private:
    void ensure(size_t n)
    {
        if (bytes_.size() < n)
            bytes_.resize(n, '\0');
    }

    std::string bytes_;
};

uint8_t FrameByte(uint8_t frames, FrameRateBits bits)
{
    return static_cast<uint8_t>(static_cast<uint8_t>(bits) | (ToBcd(frames) & 0x3F));
}

std::array<uint8_t, 4> EncodeTime(const std::array<uint8_t, 4>& plain, FrameRateBits bits)
{
    return {ToBcd(plain[0]), ToBcd(plain[1]), ToBcd(plain[2]), FrameByte(plain[3], bits)};
}

std::array<uint8_t, 4> CellTime(const CellSpec& c, FrameRateBits bits)
{
    if (c.rawTime)
        return *c.rawTime;
    return EncodeTime({c.hours, c.minutes, c.seconds, c.frames}, bits);
}

// Sum of the cells that play one after the other: ordinary cells and the
// first cell of each angle block.
std::array<uint8_t, 4> SumOfCells(const std::vector<CellSpec>& cells, FrameRateBits bits)
{
    const uint32_t fps = bits == FrameRateBits::Fps25 ? 25 : 30;
    uint64_t frames = 0;
    for (const CellSpec& c : cells) {
        if (c.blockType == 1 && c.blockMode != 1)
            continue;
        frames += (uint64_t(c.hours) * 3600 + c.minutes * 60u + c.seconds) * fps + c.frames;
    }
    const uint64_t secs = frames / fps;
    return {static_cast<uint8_t>(std::min<uint64_t>(secs / 3600, 99)), static_cast<uint8_t>(secs / 60 % 60),
            static_cast<uint8_t>(secs % 60), static_cast<uint8_t>(frames % fps)};
}

uint16_t LanguageCode(const std::string& language)
{
    if (language.empty())
        return 0;
    if (language.size() != 2)
        throw std::invalid_argument("language codes have two letters: " + language);
    return static_cast<uint16_t>((uint8_t(language[0]) << 8) | uint8_t(language[1]));
}

}  // namespace

uint8_t ToBcd(uint8_t value)
{
    return static_cast<uint8_t>(((value / 10) % 10) << 4 | value % 10);
}

// ---- Pgc -------------------------------------------------------------------

CellSpec MakeCell(uint16_t vob, uint8_t cellId, uint8_t h, uint8_t m, uint8_t s, uint8_t f)
{
    CellSpec c;
    c.vobId = vob;
    c.cellId = cellId;
    c.hours = h;
    c.minutes = m;
    c.seconds = s;
    c.frames = f;
    return c;
}

Pgc& Pgc::cell(uint16_t vob, uint8_t cellId, uint8_t h, uint8_t m, uint8_t s, uint8_t f)
{
    cells_.push_back(MakeCell(vob, cellId, h, m, s, f));
    return *this;
}

Pgc& Pgc::angleBlock(const std::vector<CellSpec>& cells)
{
    for (size_t i = 0; i < cells.size(); ++i) {
        CellSpec c = cells[i];
        c.blockType = 1;
        c.blockMode = i == 0 ? 1 : i + 1 == cells.size() ? 3 : 2;
        cells_.push_back(c);
    }
    return *this;
}

Pgc& Pgc::rawCell(const CellSpec& cell)
{
    cells_.push_back(cell);
    return *this;
}

Pgc& Pgc::programMap(std::vector<uint8_t> entries)
{
    map_ = std::move(entries);
    return *this;
}

Pgc& Pgc::time(uint8_t h, uint8_t m, uint8_t s, uint8_t f)
{
    time_ = std::array<uint8_t, 4>{h, m, s, f};
    rawTime_.reset();
    return *this;
}

Pgc& Pgc::rawTime(std::array<uint8_t, 4> bytes)
{
    rawTime_ = bytes;
    time_.reset();
    return *this;
}

// ---- IfoImage --------------------------------------------------------------

IfoImage::IfoImage() = default;

IfoImage& IfoImage::pal()
{
    video_[0] = 0x50;
    video_[1] = 0x00;
    rateBits_ = FrameRateBits::Fps25;
    return *this;
}

IfoImage& IfoImage::ntsc()
{
    video_[0] = 0x40;
    video_[1] = 0x00;
    rateBits_ = FrameRateBits::Fps30;
    return *this;
}

IfoImage& IfoImage::videoAttributes(uint8_t byte0, uint8_t byte1)
{
    video_[0] = byte0;
    video_[1] = byte1;
    return *this;
}

IfoImage& IfoImage::addAudio(const std::string& language, AudioFormat format, int channels, int sampleRate,
                             int quantization)
{
    std::array<uint8_t, 8> a{};
    const uint16_t code = LanguageCode(language);
    a[0] = static_cast<uint8_t>(static_cast<uint8_t>(format) << 5 | (code ? 1 << 2 : 0));
    a[1] = static_cast<uint8_t>((quantization & 3) << 6 | (sampleRate == 96000 ? 1 << 4 : 0) |
                                ((channels - 1) & 7));
    a[2] = static_cast<uint8_t>(code >> 8);
    a[3] = static_cast<uint8_t>(code);
    audio_.push_back(a);
    return *this;
}

IfoImage& IfoImage::addSubPicture(const std::string& language)
{
    std::array<uint8_t, 6> s{};
    const uint16_t code = LanguageCode(language);
    s[0] = code ? 1 : 0;
    s[2] = static_cast<uint8_t>(code >> 8);
    s[3] = static_cast<uint8_t>(code);
    subPictures_.push_back(s);
    return *this;
}

IfoImage& IfoImage::addPgc(const Pgc& pgc)
{
    pgcs_.push_back(pgc);
    return *this;
}

IfoImage& IfoImage::tableSector(Table table, uint32_t sector)
{
    tableSectors_.emplace_back(table, sector);
    return *this;
}

IfoImage& IfoImage::poke8(uint32_t offset, uint8_t value)
{
    pokes_.push_back({offset, {value}});
    return *this;
}

IfoImage& IfoImage::poke16(uint32_t offset, uint16_t value)
{
    pokes_.push_back({offset, {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)}});
    return *this;
}

IfoImage& IfoImage::poke32(uint32_t offset, uint32_t value)
{
    pokes_.push_back({offset,
                      {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                       static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)}});
    return *this;
}

IfoImage::Layout IfoImage::layout() const
{
    Layout l;
    build(&l);
    return l;
}

std::string IfoImage::bytes() const
{
    return build(nullptr);
}

void IfoImage::writeTo(const std::string& path) const
{
    const std::string b = bytes();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(b.data(), static_cast<std::streamsize>(b.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string IfoImage::build(Layout* layoutOut) const
{
    Layout l;

    // Every (VOB, cell) pair gets a run of sectors in the title VOBs; the
    // cell playback entries, the cell address table and the VOBU map agree.
    std::map<std::pair<uint16_t, uint8_t>, uint32_t> cellSectors;
    for (const Pgc& p : pgcs_)
        for (const CellSpec& c : p.cells_)
            cellSectors.emplace(std::make_pair(c.vobId, c.cellId), 0);
    uint32_t next = 0;
    uint16_t vobCount = 1;
    for (auto& [key, sector] : cellSectors) {
        sector = next;
        next += 16;
        vobCount = std::max(vobCount, key.first);
    }
    const uint32_t vobSectors = std::max<uint32_t>(next, 16);

    // PTT search table: one title per PGC, one part per program.
    Buffer ptt;
    if (!titleParts_.empty()) {
        uint32_t at = 8 + 4 * static_cast<uint32_t>(titleParts_.size());
        for (size_t t = 0; t < titleParts_.size(); ++t) {
            ptt.u32(8 + 4 * static_cast<uint32_t>(t), at);
            for (const auto& [pgc, program] : titleParts_[t]) {
                ptt.u16(at, pgc);
                ptt.u16(at + 2, program);
                at += 4;
            }
        }
        ptt.u16(0, static_cast<uint16_t>(titleParts_.size()));
        ptt.u32(4, at - 1);
    } else {
        const uint32_t titles = std::max<uint32_t>(1, static_cast<uint32_t>(pgcs_.size()));
        std::vector<uint32_t> parts;
        for (uint32_t t = 0; t < titles; ++t) {
            const size_t programs = t < pgcs_.size() ? pgcs_[t].map_.size() : 0;
            parts.push_back(static_cast<uint32_t>(std::clamp<size_t>(programs, 1, 99)));
        }
        uint32_t at = 8 + 4 * titles;
        for (uint32_t t = 0; t < titles; ++t) {
            ptt.u32(8 + 4 * t, at);
            for (uint32_t j = 0; j < parts[t]; ++j) {
                ptt.u16(at, static_cast<uint16_t>(t + 1));
                ptt.u16(at + 2, static_cast<uint16_t>(j + 1));
                at += 4;
            }
        }
        ptt.u16(0, static_cast<uint16_t>(titles));
        ptt.u32(4, at - 1);
    }

    // PGC table.
    Buffer pgcit;
    std::vector<uint32_t> pgcStarts;
    {
        const uint32_t n = static_cast<uint32_t>(pgcs_.size());
        uint32_t at = 8 + 8 * n;
        for (uint32_t i = 0; i < n; ++i) {
            const Pgc& p = pgcs_[i];
            const uint32_t start = at;
            pgcStarts.push_back(start);
            const uint32_t cells = static_cast<uint32_t>(p.cells_.size());
            const uint32_t programs = static_cast<uint32_t>(p.map_.size());

            std::array<uint8_t, 4> time;
            if (p.rawTime_)
                time = *p.rawTime_;
            else if (p.time_)
                time = EncodeTime(*p.time_, rateBits_);
            else
                time = EncodeTime(SumOfCells(p.cells_, rateBits_), rateBits_);

            pgcit.u8(start + 2,
                     p.programCount_.value_or(static_cast<uint8_t>(std::min<uint32_t>(programs, 255))));
            pgcit.u8(start + 3, p.cellCount_.value_or(static_cast<uint8_t>(std::min<uint32_t>(cells, 255))));
            pgcit.raw(start + 4, time.data(), 4);
            for (size_t k = 0; k < audio_.size() && k < 8; ++k)
                pgcit.u16(start + 12 + 2 * k, static_cast<uint16_t>(0x8000 | k << 8));
            for (size_t k = 0; k < subPictures_.size() && k < 32; ++k)
                pgcit.u32(start + 28 + 4 * k,
                          static_cast<uint32_t>(0x80000000u | k << 24 | k << 16 | k << 8 | k));

            uint32_t off = kPgcHeaderSize;
            const uint32_t mapOffset = programs ? off : 0;
            off += (programs + 1) / 2 * 2;
            const uint32_t playbackOffset = cells ? off : 0;
            off += cells * kCellPlaybackSize;
            const uint32_t positionOffset = cells ? off : 0;
            off += cells * kCellPositionSize;

            pgcit.u16(start + 230, p.programMapOffset_.value_or(static_cast<uint16_t>(mapOffset)));
            pgcit.u16(start + 232, p.cellPlaybackOffset_.value_or(static_cast<uint16_t>(playbackOffset)));
            pgcit.u16(start + 234, p.cellPositionOffset_.value_or(static_cast<uint16_t>(positionOffset)));
            for (uint32_t k = 0; k < programs; ++k)
                pgcit.u8(start + mapOffset + k, p.map_[k]);
            for (uint32_t k = 0; k < cells; ++k) {
                const CellSpec& c = p.cells_[k];
                const uint32_t e = start + playbackOffset + k * kCellPlaybackSize;
                const uint32_t first = cellSectors.at({c.vobId, c.cellId});
                pgcit.u8(e, static_cast<uint8_t>((c.blockMode & 3) << 6 | (c.blockType & 3) << 4));
                const auto t = CellTime(c, rateBits_);
                pgcit.raw(e + 4, t.data(), 4);
                pgcit.u32(e + 8, first);
                pgcit.u32(e + 16, first);
                pgcit.u32(e + 20, first + 15);
                const uint32_t q = start + positionOffset + k * kCellPositionSize;
                pgcit.u16(q, c.vobId);
                pgcit.u8(q + 3, c.cellId);
            }
            pgcit.resize(std::max<size_t>(pgcit.size(), start + off));
            at = start + off;
        }
        pgcit.resize(std::max<size_t>(pgcit.size(), 8 + 8 * n));
        for (uint32_t i = 0; i < n; ++i) {
            pgcit.u8(8 + 8 * i, static_cast<uint8_t>(0x80 | ((i + 1) & 0x7F)));
            pgcit.u32(8 + 8 * i + 4, pgcs_[i].startByte_.value_or(pgcStarts[i]));
        }
        pgcit.u16(0, pgcCount_.value_or(static_cast<uint16_t>(n)));
        pgcit.u32(4, static_cast<uint32_t>(pgcit.size() - 1));
    }

    // Time map table: an empty map per PGC.
    Buffer tmapt;
    if (timeMap_) {
        const uint32_t n = static_cast<uint32_t>(pgcs_.size());
        tmapt.u16(0, static_cast<uint16_t>(n));
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t at = 8 + 4 * n + 4 * i;
            tmapt.u32(8 + 4 * i, at);
            tmapt.u8(at, 1);
        }
        tmapt.resize(8 + 8 * n);
        tmapt.u32(4, static_cast<uint32_t>(tmapt.size() - 1));
    }

    // Cell address table and VOBU address map.
    Buffer cadt;
    Buffer vobu;
    {
        uint32_t at = 8;
        for (const auto& [key, sector] : cellSectors) {
            cadt.u16(at, key.first);
            cadt.u8(at + 2, key.second);
            cadt.u32(at + 4, sector);
            cadt.u32(at + 8, sector + 15);
            at += kCellAddressSize;
        }
        cadt.resize(at);
        cadt.u16(0, vobCount);
        cadt.u32(4, at - 1);

        uint32_t v = 4;
        vobu.u32(v, 0);
        v += 4;
        for (const auto& entry : cellSectors) {
            if (entry.second == 0)
                continue;
            vobu.u32(v, entry.second);
            v += 4;
        }
        vobu.u32(0, v - 1);
    }

    // Sector layout: the header, then each table on a sector boundary.
    uint32_t sector = 1;
    auto place = [&sector](const Buffer& b) {
        const uint32_t s = sector;
        sector += static_cast<uint32_t>((b.size() + kSector - 1) / kSector);
        return s;
    };
    l.pttSrptSector = place(ptt);
    l.pgcitSector = place(pgcit);
    l.timeMapSector = timeMap_ ? place(tmapt) : 0;
    l.cellAddressSector = place(cadt);
    l.vobuAddressSector = place(vobu);
    l.sectors = sector;
    for (uint32_t s : pgcStarts)
        l.pgcOffsets.push_back(l.pgcitSector * kSector + s);

    auto sectorOf = [&](Table t, uint32_t real) {
        for (const auto& [table, value] : tableSectors_)
            if (table == t)
                real = value;
        return real;
    };

    Buffer out(kSector);
    static const char kId[] = "DVDVIDEO-VTS";
    out.raw(0, kId, 12);
    const uint32_t ifoLast = l.sectors - 1;
    out.u32(12, ifoLast + vobSectors + l.sectors);  // IFO + VOBs + BUP
    out.u32(28, ifoLast);
    out.u8(33, 0x11);
    out.u32(128, 0x3FF);
    out.u32(196, l.sectors);
    out.u32(200, sectorOf(Table::PttSrpt, l.pttSrptSector));
    out.u32(204, sectorOf(Table::Pgcit, l.pgcitSector));
    out.u32(212, sectorOf(Table::TimeMap, l.timeMapSector));
    out.u32(224, sectorOf(Table::CellAddress, l.cellAddressSector));
    out.u32(228, sectorOf(Table::VobuAddress, l.vobuAddressSector));
    out.u8(kVideoAttributeOffset, video_[0]);
    out.u8(kVideoAttributeOffset + 1, video_[1]);
    out.u8(kAudioCountOffset, audioCount_.value_or(static_cast<uint8_t>(audio_.size())));
    for (size_t k = 0; k < audio_.size() && k < 8; ++k)
        out.raw(516 + 8 * k, audio_[k].data(), 8);
    out.u8(kSubPictureCountOffset, subPictureCount_.value_or(static_cast<uint8_t>(subPictures_.size())));
    for (size_t k = 0; k < subPictures_.size() && k < 32; ++k)
        out.raw(598 + 6 * k, subPictures_[k].data(), 6);

    for (const Buffer* b : {&ptt, &pgcit, &tmapt, &cadt, &vobu}) {
        if (b == &tmapt && !timeMap_)
            continue;
        Buffer part = *b;
        part.padToSector();
        out.append(part);
    }

    for (const auto& [offset, bytes] : pokes_)
        out.raw(offset, bytes.data(), bytes.size());
    if (truncate_ && *truncate_ < out.size())
        out.resize(*truncate_);

    if (layoutOut)
        *layoutOut = l;
    return out.str();
}

std::string VideoManagerBytes(const std::vector<VmgTitle>& titles)
{
    Buffer b(IfoImage::kSector);
    static const char kId[] = "DVDVIDEO-VMG";
    b.raw(0, kId, 12);
    b.u32(12, 100);  // last sector of the manager set
    b.u32(28, 0);    // last sector of its information
    b.u8(33, 0x11);
    b.u16(38, 1);  // volumes
    b.u16(40, 1);  // this volume
    b.u8(42, 1);   // side
    b.u16(62, 1);  // title sets
    b.u32(128, 0x3FF);
    if (!titles.empty()) {
        b.u32(0xC4, 1);  // the title table's sector
        Buffer table;
        for (size_t i = 0; i < titles.size(); ++i) {
            const uint32_t at = 8 + 12 * static_cast<uint32_t>(i);
            table.u8(at, 0x3C);
            table.u8(at + 1, titles[i].angles);
            table.u16(at + 2, titles[i].parts);
            table.u8(at + 6, titles[i].titleSet);
            table.u8(at + 7, titles[i].titleInSet);
        }
        table.u16(0, static_cast<uint16_t>(titles.size()));
        table.u32(4, static_cast<uint32_t>(8 + 12 * titles.size() - 1));
        table.padToSector();
        b.append(table);
    }
    return b.str();
}

std::string RandomBytes(size_t size, uint32_t seed)
{
    std::string out(size, '\0');
    uint32_t x = seed ? seed : 0x9E3779B9u;
    for (char& c : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x >> 24);
    }
    return out;
}

}  // namespace pelvano::test
