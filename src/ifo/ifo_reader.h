#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct dvd_reader_s;

namespace pelvano {

// Plain numbers (decoded from the disc's BCD), not BCD.
struct IfoTime {
    uint8_t hours = 0;
    uint8_t minutes = 0;
    uint8_t seconds = 0;
    uint8_t frames = 0;
};

struct IfoCell {
    uint16_t vobId = 0;
    uint8_t cellId = 0;
    // Low nibble: 1-based position in an angle block; high nibble: cells in
    // the block. 0x11 for an ordinary cell.
    uint8_t angle = 0x11;
    IfoTime length;
};

// An open title set. Opening reads everything a load needs; the object
// holds no file or library handle afterwards, so it can never outlive one.
class IfoReader {
public:
    // Opens a VTS_nn_0.IFO file by path, whatever its name. Returns null when
    // the file cannot be read as a title set; `why` then says why when we know
    // more than "it did not open" (empty otherwise).
    static std::unique_ptr<IfoReader> Open(const std::string& path, std::string* why = nullptr);
    // The same for the bytes of title set `titleSet`'s IFO read from a disc
    // (DiscReader): checked and parsed exactly as a file holding them would be.
    static std::unique_ptr<IfoReader> FromBytes(const std::string& image, int titleSet,
                                                std::string* why = nullptr);
    // The same for several title sets at once (number -> bytes); a null
    // reader where one does not read, with the reason in (*why)[number] when known.
    static std::map<int, std::unique_ptr<IfoReader>> FromBytes(const std::map<int, std::string>& images,
                                                               std::map<int, std::string>* why = nullptr);
    // The same with the bytes left where they are (a disc's are large).
    // `owner`, when given, keeps them alive: the title sets read are then
    // kept, with it, for a load right after (see the single FromBytes).
    static std::map<int, std::unique_ptr<IfoReader>>
    FromBytes(const std::map<int, const std::string*>& images, std::map<int, std::string>* why = nullptr,
              const std::shared_ptr<const void>& owner = nullptr);

    uint32_t pgcCount() const { return static_cast<uint32_t>(pgcs_.size()); }
    // Cell count of PGC `pgc`, and its play time in *time.
    uint32_t pgcInfo(uint32_t pgc, IfoTime* time) const;
    const std::vector<IfoCell>& pgcCells(uint32_t pgc) const;
    const std::vector<uint8_t>& programMap(uint32_t pgc) const;

    const std::vector<std::string>& audioDescriptions() const { return audio_; }
    const std::vector<std::string>& subPictureDescriptions() const { return subPictures_; }

    // Bytes 512 and 513 of the file: the title set's video attributes.
    uint8_t videoAttribute0() const { return video_[0]; }
    uint8_t videoAttribute1() const { return video_[1]; }

    struct Pgc {
        IfoTime time;
        std::vector<IfoCell> cells;
        std::vector<uint8_t> programMap;
    };

private:
    IfoReader() = default;
    // Parses checked bytes; `dir` holds them as VTS_<title>_0.IFO.
    static std::unique_ptr<IfoReader> Parse(const std::string& image, int title, dvd_reader_s* dvd);

    std::vector<Pgc> pgcs_;
    std::vector<std::string> audio_;
    std::vector<std::string> subPictures_;
    uint8_t video_[2] = {0, 0};
};

}  // namespace pelvano
