#include "ifo/title_table.h"

#include <algorithm>
#include <optional>
#include <string>

#include "base/error.h"
#include "ifo/ifo_bytes.h"
#include "ifo/ifo_precheck.h"

namespace pelvano {

std::vector<DiscTitle> ParseTitleTable(std::string_view videoManagerBytes)
{
    constexpr uint64_t kEntrySize = 12;
    if (const std::optional<std::string> problem = CheckTitleTable(videoManagerBytes))
        throw Error(*problem);
    const IfoBytes img(videoManagerBytes);
    const uint64_t base = img.sectorAt(ifo_field::kTitleTable);
    const uint64_t length = img.tableLength(base, kEntrySize);
    // A count larger than the table is cut to the entries it holds.
    const uint64_t count = std::min<uint64_t>(img.u16(base), (length - 8) / kEntrySize);
    std::vector<DiscTitle> titles;
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t entry = base + 8 + i * kEntrySize;
        titles.push_back(DiscTitle{static_cast<int>(i) + 1, static_cast<int>(img.u8(entry + 6)),
                                   static_cast<int>(img.u8(entry + 7)), static_cast<int>(img.u8(entry + 1)),
                                   static_cast<int>(img.u16(entry + 2))});
    }
    return titles;
}

}  // namespace pelvano
