#include "mpls_writer.h"

#include <filesystem>

#include "base/format.h"
#include "test_util.h"

namespace pelvano::test {

namespace {

std::string Be(uint64_t value, int bytes)
{
    std::string out;
    while (bytes-- > 0)
        out += static_cast<char>(value >> (8 * bytes));
    return out;
}

std::string Sized(const std::string& body, int lengthBytes)
{
    return Be(body.size(), lengthBytes) + body;
}

std::string Zeros(size_t count)
{
    return std::string(count, '\0');
}

// A stream of the play item's own clip (PID 0x1011) with these attributes.
std::string Stream(const std::string& attributes)
{
    return Sized(Be(0x011011, 3), 1) + Sized(attributes, 1);
}

std::string PlayItem(const MplsItem& item)
{
    // Connection condition 1, the multi-angle flag, STC 0, the times, user
    // operations and still mode; the other angles; the stream table.
    std::string out = item.clip + "M2TS" + Be(item.angles.empty() ? 0x0100 : 0x1100, 3) + Be(item.in, 4) +
                      Be(item.out, 4) + Zeros(12);
    if (!item.angles.empty())
        out += Be((item.angles.size() + 1) << 8, 2);
    for (const std::string& clip : item.angles)
        out += clip + "M2TS" + Zeros(1);
    const std::string streams = Stream({'\x1B', static_cast<char>(0x60 | item.rate)}) +
                                Stream("\x81\x61"
                                       "eng") +
                                Stream("\x90"
                                       "deu") +
                                Stream("\x91"
                                       "fra");
    return Sized(out + Sized(Be(0x01010101, 6) + Zeros(8) + streams, 2), 2);
}

}  // namespace

std::string MplsBytes(const MplsSpec& spec)
{
    std::string list = Be(spec.items.size() << 16, 6);  // no sub-paths
    for (const MplsItem& item : spec.items)
        list += PlayItem(item);
    std::string marks = Be(spec.marks.size(), 2);
    for (const MplsMark& m : spec.marks)
        marks += Be(m.type, 2) + Be(m.item, 2) + Be(m.time, 4) + Zeros(6);
    return "MPLS" + spec.version + Be(58, 4) + Be(62 + list.size(), 4) + Zeros(24) + Sized(Zeros(14), 4) +
           Sized(list, 4) + Sized(marks, 4);
}

std::vector<MplsSpec> Film()
{
    constexpr uint32_t S = 45000;
    // Clips as authoring leaves them: each from 10 minutes in.
    MplsSpec film{{{"00100", 600 * S, 3000 * S, {}},
                   {"00101", 600 * S, 3300 * S, {}},
                   {"00102", 600 * S, 2115 * S, {}}},
                  {}};
    for (const uint32_t second : {0, 372, 811, 1204, 1650, 2010, 2400, 2805, 3190, 3602, 4020, 4477, 4830,
                                  5100, 5522, 5890, 6203, 6540}) {
        const uint32_t tick =
            static_cast<uint32_t>(second * 24000ull / 1001 * 45045 / 24);  // 1001/24000 s a frame
        const uint16_t item = tick < 2400 * S ? 0 : tick < 5100 * S ? 1 : 2;
        const uint32_t itemStart = item == 0 ? 0 : item == 1 ? 2400 * S : 5100 * S;
        film.marks.push_back({item, film.items[item].in + tick - itemStart});
    }
    return {film,
            film,
            {{{"00200", 0, 5 * S, {}}}, {{0, 0}}},
            {{{"00300", 0, 120 * S, {}}}, {{0, 0}, {0, 60 * S}}}};
}

void WriteBdmv(const std::string& root, const std::vector<MplsSpec>& playlists)
{
    const std::string bdmv = root + "/BDMV/";
    std::filesystem::create_directories(bdmv + "PLAYLIST");
    std::filesystem::create_directories(bdmv + "CLIPINF");
    // One HDMV movie title, no first play, no top menu, no movie objects.
    const std::string none = Be(0x40000000'0000FFFF, 8) + Zeros(4);
    WriteFile(bdmv + "index.bdmv", "INDX0200" + Be(78, 4) + Zeros(28) + Sized(Zeros(34), 4) +
                                       Sized(none + none + Be(1, 2) + Be(0x40000000, 4) + Zeros(8), 4));
    WriteFile(bdmv + "MovieObject.bdmv", "MOBJ0200" + Zeros(32) + Sized(Zeros(6), 4));
    // Empty sequence, program and entry-point tables.
    const std::string clipInfo = "HDMV0200" + Be(190, 4) + Be(196, 4) + Be(202, 4) + Zeros(20) +
                                 Sized(Be(0x0101, 4) + Zeros(142), 4) + Sized(Zeros(2), 4) +
                                 Sized(Zeros(2), 4) + Zeros(8);
    for (size_t i = 0; i < playlists.size(); ++i) {
        WriteFile(bdmv + Format("PLAYLIST/%05zu.mpls", i + 1), MplsBytes(playlists[i]));
        for (const MplsItem& item : playlists[i].items) {
            WriteFile(bdmv + "CLIPINF/" + item.clip + ".clpi", clipInfo);
            for (const std::string& clip : item.angles)
                WriteFile(bdmv + "CLIPINF/" + clip + ".clpi", clipInfo);
        }
    }
}

}  // namespace pelvano::test
