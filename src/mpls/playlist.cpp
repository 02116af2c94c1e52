#include "mpls/playlist.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "base/error.h"
#include "base/format.h"

namespace pelvano {

namespace {

// Type, version, the offsets of the play item list, the marks and the
// extension data, and reserved bytes.
constexpr size_t kHeaderSize = 40;
constexpr size_t kMarkSize = 14;
// Reserved bytes, the seven stream counts (an eighth on UHD discs) and more
// reserved bytes, before the first stream.
constexpr size_t kStreamCountsSize = 14;
constexpr uint16_t kMultiAngleFlag = 0x10;

// A part of the file that every read stays inside. A read past its end, or
// a part taken from it that reaches past its end, throws an Error that
// names the part.
class Section {
public:
    Section(std::string_view bytes, std::string name) : bytes_(bytes), name_(std::move(name)) {}

    std::string_view take(size_t count)
    {
        if (count > bytes_.size() - pos_)
            throw Error(name_ + " is cut short");
        const std::string_view out = bytes_.substr(pos_, count);
        pos_ += count;
        return out;
    }
    void skip(size_t count) { take(count); }
    uint8_t u8() { return static_cast<uint8_t>(take(1)[0]); }
    uint16_t u16()
    {
        const std::string_view b = take(2);
        return static_cast<uint16_t>(uint8_t(b[0]) << 8 | uint8_t(b[1]));
    }
    uint32_t u32()
    {
        const uint32_t high = u16();
        return high << 16 | u16();
    }

    // The next `length` bytes as a part of their own, skipped here.
    Section part(size_t length, std::string name)
    {
        if (length > bytes_.size() - pos_)
            throw Error(name + " runs past the end of " + name_);
        Section inner(bytes_.substr(pos_, length), std::move(name));
        pos_ += length;
        return inner;
    }

private:
    std::string_view bytes_;
    size_t pos_ = 0;
    std::string name_;
};

// A top-level section: at `offset` in the file, its length (4 bytes) first.
Section LengthPrefixed(std::string_view file, uint32_t offset, const char* name)
{
    if (file.size() < 4 || offset > file.size() - 4)
        throw Error(Format("%s starts past the end of the file", name));
    Section rest(file.substr(offset), "the file");
    const uint32_t length = rest.u32();
    return rest.part(length, name);
}

std::string Printable(std::string_view bytes)
{
    std::string out(bytes);
    std::replace_if(
        out.begin(), out.end(), [](char c) { return c < 0x20 || c > 0x7E; }, '?');
    return out;
}

// Clip names become file names (CLIPINF/<name>.clpi): nothing but digits.
PlaylistClip ReadClip(Section& item, unsigned number)
{
    PlaylistClip clip;
    clip.name = item.take(5);
    clip.codec = item.take(4);
    if (!std::all_of(clip.name.begin(), clip.name.end(), [](char c) { return c >= '0' && c <= '9'; }))
        throw Error(Format("play item %u names a clip that is not five digits", number));
    return clip;
}

// A stream of the stream table: where it comes from (skipped), then its
// attributes, which are returned.
Section StreamAttributes(Section& table, const char* kind, unsigned index, unsigned item)
{
    std::string name = Format("%s stream %u of play item %u", kind, index + 1, item);
    table.part(table.u8(), name);
    return table.part(table.u8(), std::move(name));
}

void ReadStreams(Section& table, unsigned item, PlaylistStreams& streams)
{
    table.skip(2);
    const uint8_t videoCount = table.u8();
    const uint8_t audioCount = table.u8();
    const uint8_t subtitleCount = table.u8();
    table.skip(kStreamCountsSize - 5);
    // The secondary and interactive streams that follow are left unread:
    // the table's length bounds them.
    for (unsigned i = 0; i < videoCount; ++i) {
        Section s = StreamAttributes(table, "video", i, item);
        PlaylistVideo& v = streams.video.emplace_back();
        v.coding = s.u8();
        const uint8_t formatAndRate = s.u8();
        v.format = formatAndRate >> 4;
        v.rate = formatAndRate & 0x0F;
    }
    for (unsigned i = 0; i < audioCount; ++i) {
        Section s = StreamAttributes(table, "audio", i, item);
        PlaylistAudio& a = streams.audio.emplace_back();
        a.coding = s.u8();
        const uint8_t formatAndRate = s.u8();
        a.format = formatAndRate >> 4;
        a.sampleRate = formatAndRate & 0x0F;
        a.language = s.take(3);
    }
    for (unsigned i = 0; i < subtitleCount; ++i) {
        Section s = StreamAttributes(table, "subtitle", i, item);
        PlaylistSubtitle& sub = streams.subtitles.emplace_back();
        sub.coding = s.u8();
        if (sub.coding == 0x92)
            s.skip(1);  // text subtitles: character code
        sub.language = s.take(3);
    }
}

PlayItem ReadPlayItem(Section& s, unsigned number)
{
    PlayItem item;
    item.angles.push_back(ReadClip(s, number));
    const uint16_t flags = s.u16();
    item.connection = flags & 0x0F;
    s.skip(1);  // STC id
    item.inTime = s.u32();
    item.outTime = s.u32();
    if (item.outTime < item.inTime)
        throw Error(Format("play item %u ends before it starts", number));
    s.skip(12);  // user operations, random access flag, still mode and time
    unsigned angles = 1;
    if (flags & kMultiAngleFlag) {
        angles = std::max<unsigned>(s.u8(), 1);  // libbluray and players read 0 as 1
        s.skip(1);
    }
    Section others = s.part((angles - 1) * size_t{10}, Format("the angle list of play item %u", number));
    for (unsigned a = 1; a < angles; ++a) {
        item.angles.push_back(ReadClip(others, number));
        others.skip(1);  // STC id
    }
    Section table = s.part(s.u16(), Format("the stream table of play item %u", number));
    ReadStreams(table, number, item.streams);
    return item;
}

}  // namespace

Playlist ParsePlaylist(std::string_view bytes)
{
    if (bytes.size() < kHeaderSize || bytes.substr(0, 4) != "MPLS")
        throw Error("the file is not a Blu-ray playlist");
    Playlist playlist;
    playlist.version = bytes.substr(4, 4);
    if (playlist.version != "0100" && playlist.version != "0200" && playlist.version != "0300")
        throw Error(Format("unknown playlist version \"%s\"", Printable(playlist.version).c_str()));
    Section header(bytes.substr(8, 8), "the header");
    const uint32_t listOffset = header.u32();
    const uint32_t markOffset = header.u32();

    Section list = LengthPrefixed(bytes, listOffset, "the play item list");
    list.skip(2);
    const uint16_t itemCount = list.u16();
    list.skip(2);  // the sub-path count: the sub-paths after the items are left unread
    uint64_t total = 0;
    for (unsigned i = 1; i <= itemCount; ++i) {
        Section item = list.part(list.u16(), Format("play item %u", i));
        playlist.items.push_back(ReadPlayItem(item, i));
        total += playlist.items.back().length();
    }
    if (total > std::numeric_limits<uint32_t>::max())
        throw Error("the play items add up to more than a playlist's 32-bit clock can count");

    Section marks = LengthPrefixed(bytes, markOffset, "the mark table");
    const uint16_t markCount = marks.u16();
    for (unsigned i = 1; i <= markCount; ++i) {
        Section m = marks.part(kMarkSize, Format("mark %u", i));
        PlaylistMark& mark = playlist.marks.emplace_back();
        m.skip(1);
        mark.type = m.u8();
        mark.playItem = m.u16();
        mark.time = m.u32();
        if (mark.playItem >= playlist.items.size())
            throw Error(Format("mark %u names play item %u, which the playlist does not have", i,
                               mark.playItem + 1u));
        const PlayItem& item = playlist.items[mark.playItem];
        if (mark.time < item.inTime || mark.time > item.outTime)
            throw Error(Format("mark %u lies outside its play item", i));
    }
    return playlist;
}

}  // namespace pelvano
