#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ifo/title_set.h"

namespace pelvano {

// A parsed title set with the accessors title loading uses: a thin view of
// a TitleSet. Open and FromBytes stay until the callers take TitleSets from
// the disc layer; they wrap ParseTitleSet and report its error in `why`.
class IfoReader {
public:
    explicit IfoReader(TitleSet titleSet) : set_(std::move(titleSet)) {}

    // Reads and parses a VTS_nn_0.IFO file by path, whatever its name.
    // Returns null when the file cannot be read as a title set; `why` then
    // says why when we know more than "it did not open" (empty otherwise).
    static std::unique_ptr<IfoReader> Open(const std::string& path, std::string* why = nullptr);
    // ParseTitleSet on bytes read from a disc; null, with the reason in
    // `why`, when it refuses them. The title-set number plays no part.
    static std::unique_ptr<IfoReader> FromBytes(const std::string& image, int titleSet,
                                                std::string* why = nullptr);
    // The same for several title sets at once (number -> bytes), with the
    // reasons by number.
    static std::map<int, std::unique_ptr<IfoReader>> FromBytes(const std::map<int, std::string>& images,
                                                               std::map<int, std::string>* why = nullptr);
    // The same with the bytes left where they are. The last argument is
    // unused: nothing is kept between calls any more.
    static std::map<int, std::unique_ptr<IfoReader>>
    FromBytes(const std::map<int, const std::string*>& images, std::map<int, std::string>* why = nullptr,
              const std::shared_ptr<const void>& unused = nullptr);

    const TitleSet& titleSet() const { return set_; }

    uint32_t pgcCount() const { return static_cast<uint32_t>(set_.pgcs.size()); }
    // Cell count of PGC `pgc`, and its play time in *time.
    uint32_t pgcInfo(uint32_t pgc, IfoTime* time) const;
    const std::vector<IfoCell>& pgcCells(uint32_t pgc) const;
    const std::vector<uint8_t>& programMap(uint32_t pgc) const;

    const std::vector<std::string>& audioDescriptions() const { return set_.audio; }
    const std::vector<std::string>& subPictureDescriptions() const { return set_.subPictures; }

    // Bytes 512 and 513 of the file: the title set's video attributes.
    uint8_t videoAttribute0() const { return set_.videoAttributes[0]; }
    uint8_t videoAttribute1() const { return set_.videoAttributes[1]; }

private:
    TitleSet set_;
};

}  // namespace pelvano
