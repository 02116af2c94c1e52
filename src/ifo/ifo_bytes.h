#pragma once

#include <cstdint>
#include <string_view>

#include "base/error.h"

namespace pelvano {

// Where the IFO headers keep the start sectors of their tables.
namespace ifo_field {
constexpr uint64_t kTitleTable = 0xC4;  // VIDEO_TS.IFO: TT_SRPT
constexpr uint64_t kPttSrpt = 0xC8;     // the rest: VTS_nn_0.IFO
constexpr uint64_t kPgcit = 0xCC;
constexpr uint64_t kMenuPgciUt = 0xD0;
constexpr uint64_t kTmapt = 0xD4;
constexpr uint64_t kMenuCellAdt = 0xD8;
constexpr uint64_t kMenuVobuAdmap = 0xDC;
constexpr uint64_t kCellAdt = 0xE0;
constexpr uint64_t kVobuAdmap = 0xE4;
}  // namespace ifo_field

// The bytes of an IFO file as the reader library sees them: whole 2048-byte
// sectors only (it never reads a part sector at the end of a file), numbers
// big-endian. Every read is bounds-checked; the table checks test holds()
// first, so a read that fails is a table the checks let through.
class IfoBytes {
public:
    static constexpr uint64_t kSector = 2048;

    explicit IfoBytes(std::string_view bytes) : bytes_(bytes.substr(0, bytes.size() / kSector * kSector)) {}

    uint64_t size() const { return bytes_.size(); }
    bool holds(uint64_t offset, uint64_t length) const
    {
        return offset <= size() && length <= size() - offset;
    }
    bool startsWith(std::string_view text) const { return bytes_.substr(0, text.size()) == text; }

    uint32_t u8(uint64_t at) const
    {
        if (!holds(at, 1))
            throw Error("a table runs past the end of the file");
        return static_cast<uint8_t>(bytes_[at]);
    }
    uint32_t u16(uint64_t at) const { return u8(at) << 8 | u8(at + 1); }
    uint32_t u32(uint64_t at) const { return u16(at) << 16 | u16(at + 2); }
    // The table that starts at the sector named by the 32-bit field at `field`.
    uint64_t sectorAt(uint64_t field) const { return uint64_t{u32(field)} * kSector; }
    // The length of a table of `entrySize`-byte entries that starts with their
    // count (16 bits), 2 spare bytes and the offset of its last byte (32 bits).
    // Some discs leave that offset zero: the table is then as long as its entries.
    uint64_t tableLength(uint64_t base, uint64_t entrySize) const
    {
        const uint64_t length = uint64_t{u32(base + 4)} + 1;
        return length == 1 ? uint64_t{u16(base)} * entrySize + 8 : length;
    }

private:
    std::string_view bytes_;
};

}  // namespace pelvano
