#include "mpls_writer.h"

#include <filesystem>

#include "base/format.h"
#include "test_util.h"

namespace pelvano::test {

namespace {

void Put(std::string& out, uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out += static_cast<char>(value >> (8 * i) & 0xFF);
}

std::string Sized(const std::string& body, int lengthBytes)
{
    std::string out;
    Put(out, body.size(), lengthBytes);
    return out + body;
}

// A stream of the play item's own clip with the given attributes.
std::string Stream(const std::string& attributes)
{
    return Sized(std::string("\x01\x10\x11", 3), 1) + Sized(attributes, 1);
}

std::string PlayItemBytes(const MplsItem& item)
{
    std::string out = item.clip + "M2TS";
    Put(out, item.angles.empty() ? 0x01 : 0x11, 2);  // multi-angle flag, connection condition 1
    Put(out, 0, 1);
    Put(out, item.in, 4);
    Put(out, item.out, 4);
    out.append(12, '\0');
    if (!item.angles.empty())
        Put(out, (item.angles.size() + 1) << 8, 2);
    for (const std::string& clip : item.angles)
        out += clip + "M2TS" + '\0';
    std::string table("\0\0\x01\x01\x01\x01\0\0\0\0\0\0\0\0", 14);  // a video, audio, PG and IG stream
    table += Stream({'\x1B', static_cast<char>(0x60 | item.rate)}) +
             Stream("\x81\x61"
                    "eng") +
             Stream("\x90"
                    "deu") +
             Stream("\x91"
                    "fra");
    return Sized(out + Sized(table, 2), 2);
}

std::string IndexBytes()
{
    std::string index;
    for (int i = 0; i < 2; ++i)  // first play and top menu: none
        Put(index, 0x40000000'0000FFFF, 8), Put(index, 0, 4);
    Put(index, 1, 2);  // one HDMV movie title
    Put(index, 0x40000000, 4), Put(index, 0, 8);
    std::string out = "INDX0200";
    Put(out, 78, 4);
    out.append(28, '\0');
    return out + Sized(std::string(34, '\0'), 4) + Sized(index, 4);
}

std::string ClipInfoBytes()
{
    std::string out = "HDMV0200";
    for (uint32_t at : {190, 196, 202, 206, 0})
        Put(out, at, 4);
    out.append(12, '\0');
    out += Sized(std::string("\0\0\x01\x01", 4) + std::string(142, '\0'), 4);
    return out + Sized(std::string(2, '\0'), 4) + Sized(std::string(2, '\0'), 4) + std::string(8, '\0');
}

}  // namespace

std::string MplsBytes(const MplsSpec& spec)
{
    std::string list(2, '\0');
    Put(list, spec.items.size(), 2);
    Put(list, 0, 2);
    for (const MplsItem& item : spec.items)
        list += PlayItemBytes(item);
    std::string marks;
    Put(marks, spec.marks.size(), 2);
    for (const MplsMark& m : spec.marks)
        Put(marks, m.type, 2), Put(marks, m.item, 2), Put(marks, m.time, 4), Put(marks, 0, 6);
    const std::string appInfo = Sized(std::string(14, '\0'), 4);
    std::string out = "MPLS" + spec.version;
    Put(out, 40 + appInfo.size(), 4);
    Put(out, 44 + appInfo.size() + list.size(), 4);
    out.append(24, '\0');
    return out + appInfo + Sized(list, 4) + Sized(marks, 4);
}

void WriteBdmv(const std::string& root, const std::map<int, MplsSpec>& playlists)
{
    const std::filesystem::path bdmv = std::filesystem::path(root) / "BDMV";
    std::filesystem::create_directories(bdmv / "PLAYLIST");
    std::filesystem::create_directories(bdmv / "CLIPINF");
    WriteFile((bdmv / "index.bdmv").string(), IndexBytes());
    WriteFile((bdmv / "MovieObject.bdmv").string(),
              "MOBJ0200" + std::string(35, '\0') + "\x06" + std::string(6, '\0'));
    for (const auto& [number, spec] : playlists) {
        WriteFile((bdmv / "PLAYLIST" / Format("%05d.mpls", number)).string(), MplsBytes(spec));
        for (const MplsItem& item : spec.items) {
            for (const std::string& clip : item.angles)
                WriteFile((bdmv / "CLIPINF" / (clip + ".clpi")).string(), ClipInfoBytes());
            WriteFile((bdmv / "CLIPINF" / (item.clip + ".clpi")).string(), ClipInfoBytes());
        }
    }
}

}  // namespace pelvano::test
