#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelvano {

// Plain numbers (decoded from the disc's BCD), not BCD.
struct IfoTime {
    uint8_t hours = 0;
    uint8_t minutes = 0;
    uint8_t seconds = 0;
    uint8_t frames = 0;
    bool operator==(const IfoTime&) const = default;
};

struct IfoCell {
    uint16_t vobId = 0;
    uint8_t cellId = 0;
    // Low nibble: 1-based position in an angle block; high nibble: cells in
    // the block. 0x11 for an ordinary cell.
    uint8_t angle = 0x11;
    IfoTime length;
    bool operator==(const IfoCell&) const = default;
};

// A program chain. No cells when either cell table is absent; no program
// map when it is absent.
struct Pgc {
    IfoTime time;
    std::vector<IfoCell> cells;
    std::vector<uint8_t> programMap;  // 1-based cell numbers
    bool operator==(const Pgc&) const = default;
};

// One part (chapter) of a title of the title set, 1-based as on the disc
// and not checked against the program chains.
struct PartOfTitle {
    uint16_t pgc = 0;
    uint16_t program = 0;
    bool operator==(const PartOfTitle&) const = default;
};

// What a title set's IFO file says, as the reader library would hand it over.
struct TitleSet {
    std::array<uint8_t, 2> videoAttributes{};  // bytes 512 and 513 of the file
    std::vector<std::string> audio;            // at most 8, see DescribeAudio
    std::vector<std::string> subPictures;      // at most 32, see DescribeSubPicture
    std::vector<Pgc> pgcs;
    std::vector<std::vector<PartOfTitle>> titleParts;  // VTS_PTT_SRPT: the parts of each title of the set
    bool operator==(const TitleSet&) const = default;
};

// Parses the bytes of a VTS_nn_0.IFO. CheckIfoTables decides what is
// accepted; bytes it refuses throw pelvano::Error with its reason as the
// message. Reads nothing but `bytes`.
TitleSet ParseTitleSet(std::string_view bytes);

// The fields of an audio stream's attributes the description is made of.
struct AudioAttributes {
    uint8_t format = 0;  // 0 AC-3, 2 MPEG-1, 3 MPEG-2 ext, 4 LPCM, 6 DTS, 7 SDDS
    uint8_t quantization = 0;
    uint8_t sampleFrequency = 0;
    uint8_t channels = 0;      // minus one
    uint8_t languageType = 0;  // 1: languageCode holds a language
    uint16_t languageCode = 0;
};

// "AC-3, 2 ch, 48 kHz, English (en)": one line, printable whatever the bytes.
std::string DescribeAudio(const AudioAttributes& audio);
// "German (de)", or a plain phrase when the stream names no language.
std::string DescribeSubPicture(uint8_t languageType, uint16_t languageCode);

// Bits 7-6 and 5-4 of a cell's first playback byte.
struct CellBlock {
    uint8_t mode = 0;  // 0 not in a block, 1 first cell, 2 inside, 3 last cell
    uint8_t type = 0;  // 1 angle block
};

// The IfoCell::angle byte of each cell of a program chain.
std::vector<uint8_t> AngleBytes(const std::vector<CellBlock>& cells);

}  // namespace pelvano
