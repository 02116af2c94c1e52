#pragma once

// Builds the bytes of a video title set information file (VTS_nn_0.IFO)
// for tests: the shapes real authoring tools won't produce (angle blocks,
// odd counts, broken offsets) as well as ordinary ones. Well-formed images
// read back as written, through our parser and libdvdread alike.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pelvano::test {

enum class AudioFormat : uint8_t { Ac3 = 0, Mpeg1 = 2, Mpeg2Ext = 3, Lpcm = 4, Dts = 6 };

// Bits 7-6 of the frame byte of a playback time.
enum class FrameRateBits : uint8_t { None = 0x00, Fps25 = 0x40, Fps30 = 0xC0 };

// One entry of the cell playback and cell position tables.
struct CellSpec {
    uint16_t vobId = 1;
    uint8_t cellId = 1;
    // Plain numbers; written as BCD.
    uint8_t hours = 0, minutes = 0, seconds = 0, frames = 0;
    uint8_t blockMode = 0;  // 0 not in a block, 1 first, 2 inside, 3 last cell
    uint8_t blockType = 0;  // 1 angle block
    // When set, written as they stand instead of the BCD of the fields above
    // (the frame-rate bits included).
    std::optional<std::array<uint8_t, 4>> rawTime;
};

// A cell with a time, for angleBlock() lists.
CellSpec MakeCell(uint16_t vob, uint8_t cellId, uint8_t h, uint8_t m, uint8_t s, uint8_t f);

class Pgc {
public:
    // An ordinary cell.
    Pgc& cell(uint16_t vob, uint8_t cellId, uint8_t h, uint8_t m, uint8_t s, uint8_t f);
    // An angle block: first / inside / last cell of the block, in order.
    // A block of one cell is written as "first" only.
    Pgc& angleBlock(const std::vector<CellSpec>& cells);
    Pgc& rawCell(const CellSpec& cell);
    Pgc& programMap(std::vector<uint8_t> entries);
    // PGC playback time. Default: the sum of the cells, counting only the
    // first cell of each angle block.
    Pgc& time(uint8_t h, uint8_t m, uint8_t s, uint8_t f);
    Pgc& rawTime(std::array<uint8_t, 4> bytes);

    // Malformed shapes: counts and offsets written instead of the real ones.
    Pgc& cellCount(uint8_t n)
    {
        cellCount_ = n;
        return *this;
    }
    Pgc& programCount(uint8_t n)
    {
        programCount_ = n;
        return *this;
    }
    Pgc& programMapOffset(uint16_t v)
    {
        programMapOffset_ = v;
        return *this;
    }
    Pgc& cellPlaybackOffset(uint16_t v)
    {
        cellPlaybackOffset_ = v;
        return *this;
    }
    Pgc& cellPositionOffset(uint16_t v)
    {
        cellPositionOffset_ = v;
        return *this;
    }
    // Byte offset of the PGC from the start of the PGC table.
    Pgc& startByte(uint32_t v)
    {
        startByte_ = v;
        return *this;
    }

    const std::vector<CellSpec>& cells() const { return cells_; }
    const std::vector<uint8_t>& map() const { return map_; }

private:
    friend class IfoImage;

    std::vector<CellSpec> cells_;
    std::vector<uint8_t> map_;
    std::optional<std::array<uint8_t, 4>> rawTime_;
    std::optional<std::array<uint8_t, 4>> time_;  // plain h, m, s, f
    std::optional<uint8_t> cellCount_, programCount_;
    std::optional<uint16_t> programMapOffset_, cellPlaybackOffset_, cellPositionOffset_;
    std::optional<uint32_t> startByte_;
};

class IfoImage {
public:
    enum class Table { PttSrpt, Pgcit, TimeMap, CellAddress, VobuAddress };

    // Where the tables ended up, for tests that poke bytes.
    struct Layout {
        uint32_t pttSrptSector = 0;
        uint32_t pgcitSector = 0;
        uint32_t timeMapSector = 0;  // 0 without a time map
        uint32_t cellAddressSector = 0;
        uint32_t vobuAddressSector = 0;
        uint32_t sectors = 0;              // file size in sectors
        std::vector<uint32_t> pgcOffsets;  // absolute byte offset of each PGC
    };

    static constexpr uint32_t kSector = 2048;
    static constexpr uint32_t kVideoAttributeOffset = 512;
    static constexpr uint32_t kAudioCountOffset = 515;
    static constexpr uint32_t kSubPictureCountOffset = 597;

    IfoImage();

    // Video standard: the video attribute bits (MPEG-2, 4:3) and the
    // frame-rate bits of every time in the image.
    IfoImage& pal();   // 0x50 0x00, 25 fps
    IfoImage& ntsc();  // 0x40 0x00, 29.97 fps
    IfoImage& videoAttributes(uint8_t byte0, uint8_t byte1);
    IfoImage& frameRateBits(FrameRateBits bits)
    {
        rateBits_ = bits;
        return *this;
    }

    // language: two letters ("en") or empty for none; sampleRate 48000 or 96000.
    IfoImage& addAudio(const std::string& language, AudioFormat format, int channels, int sampleRate = 48000,
                       int quantization = 0);
    IfoImage& addSubPicture(const std::string& language);
    IfoImage& addPgc(const Pgc& pgc);
    // The part-of-title table: each title's parts as (PGC, program), 1-based;
    // without it, title t is PGC t's programs.
    IfoImage& titleParts(std::vector<std::vector<std::pair<uint16_t, uint16_t>>> titles)
    {
        titleParts_ = std::move(titles);
        return *this;
    }
    IfoImage& timeMap(bool on = true)
    {
        timeMap_ = on;
        return *this;
    }

    // Malformed shapes.
    IfoImage& pgcCount(uint16_t n)
    {
        pgcCount_ = n;
        return *this;
    }
    IfoImage& audioCount(uint8_t n)
    {
        audioCount_ = n;
        return *this;
    }
    IfoImage& subPictureCount(uint8_t n)
    {
        subPictureCount_ = n;
        return *this;
    }
    IfoImage& tableSector(Table table, uint32_t sector);
    IfoImage& poke8(uint32_t offset, uint8_t value);
    IfoImage& poke16(uint32_t offset, uint16_t value);  // big-endian, as on disc
    IfoImage& poke32(uint32_t offset, uint32_t value);
    IfoImage& truncate(size_t size)
    {
        truncate_ = size;
        return *this;
    }

    const std::vector<Pgc>& pgcs() const { return pgcs_; }
    FrameRateBits rateBits() const { return rateBits_; }
    Layout layout() const;
    std::string bytes() const;
    void writeTo(const std::string& path) const;

private:
    std::string build(Layout* layout) const;

    uint8_t video_[2] = {0x50, 0x00};
    FrameRateBits rateBits_ = FrameRateBits::Fps25;
    std::vector<std::array<uint8_t, 8>> audio_;
    std::vector<std::array<uint8_t, 6>> subPictures_;
    std::vector<Pgc> pgcs_;
    bool timeMap_ = false;
    std::vector<std::vector<std::pair<uint16_t, uint16_t>>> titleParts_;

    std::optional<uint16_t> pgcCount_;
    std::optional<uint8_t> audioCount_, subPictureCount_;
    std::vector<std::pair<Table, uint32_t>> tableSectors_;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> pokes_;
    std::optional<size_t> truncate_;
};

// A title of a video manager's title table: title `titleInSet` of title set
// `titleSet`, with its angles and parts (chapters).
struct VmgTitle {
    uint8_t titleSet = 1, titleInSet = 1, angles = 1;
    uint16_t parts = 1;
};
// A video manager (what VIDEO_TS.IFO holds): its header, one sector long,
// and with titles their title table in the sector after.
std::string VideoManagerBytes(const std::vector<VmgTitle>& titles = {});

// Deterministic noise.
std::string RandomBytes(size_t size, uint32_t seed);

// Plain number <-> BCD byte.
uint8_t ToBcd(uint8_t value);

}  // namespace pelvano::test
