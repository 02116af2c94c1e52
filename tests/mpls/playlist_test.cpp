// The playlist parser against libbluray on the writer's discs, and the
// damaged playlists it refuses.
#include <gtest/gtest.h>
#include <libbluray/bluray.h>
#include <libbluray/log_control.h>

#include <set>

#include "base/format.h"
#include "mpls/playlist_timeline.h"
#include "mpls_writer.h"
#include "test_util.h"

namespace pelvano::test {
namespace {

constexpr uint32_t S = kPlaylistTicksPerSecond;

// Playlists 1, 2, ...: the first play item's rate text, the playlist.
const std::vector<std::pair<const char*, MplsSpec>> kPlaylists = {
    // Items starting inside their clips; marks inside items and in the last 5 s.
    {"23976",
     {{{"00001", 10 * S, 610 * S, {}, 1},
       {"00002", 5 * S, 905 * S, {}, 1},
       {"00003", 0, 1200 * S + 7, {}, 1}},
      {{0, 10 * S}, {0, 300 * S + 1}, {1, 5 * S}, {1, 400 * S + 44}, {2, 700 * S}, {2, 1196 * S}}}},
    // Marks at one time, a link mark, a mark at an item's end.
    {"24000",
     {{{"00011", 0, 60 * S, {}, 2}, {"00012", 0, 60 * S, {}, 2}},
      {{0, 0}, {0, 30 * S}, {0, 30 * S}, {0, 45 * S, 2}, {0, 60 * S}, {1, 0}},
      "0100"}},
    {"25000",
     {{{"00021", 0, 90 * S, {"00022"}, 3},
       {"00023", 0, 90 * S, {}, 3},
       {"00024", 0, S, {"00025", "00026"}, 3}},
      {{0, 0}, {1, 10 * S}, {2, 1}},
      "0300"}},
    {"29970", {{{"00031", 45, 600 * S + 1, {}, 4}}, {{0, 46}, {0, 100 * S}}}},
    {"50000", {{{"00041", 0, 600 * S, {}, 6}}, {{0, 0}, {0, 599 * S}}}},
    {"59940", {{{"00051", 0, 600 * S, {}, 7}, {"00052", 0, 20, {}, 7}}, {{1, 0}, {1, 19}}}},
};

std::string libblurayLog;

// Length, angles and chapters (ms, each once); per clip its name and the
// video, audio and subtitle codes.
std::string Summary(const BLURAY_TITLE_INFO& t)
{
    std::set<uint64_t> starts;
    for (uint32_t c = 0; c < t.chapter_count; ++c)
        starts.insert((t.chapters[c].start + 89) / 90);  // 90 kHz
    std::string out = Format("%llu %u", static_cast<unsigned long long>(t.duration / 2), t.angle_count);
    for (uint64_t ms : starts)
        out += Format(" %llu", static_cast<unsigned long long>(ms));
    for (const BLURAY_CLIP_INFO& c : std::vector(t.clips, t.clips + t.clip_count))
        out += Format(" %s:%u/%u:%x/%u/%u/%s:%s", c.clip_id, c.video_streams[0].format,
                      c.video_streams[0].rate, c.audio_streams[0].coding_type, c.audio_streams[0].format,
                      c.audio_streams[0].rate, c.audio_streams[0].lang, c.pg_streams[0].lang);
    return out;
}

std::string Summary(const Playlist& p)
{
    size_t angles = 0;
    for (const PlayItem& item : p.items)
        angles = std::max(angles, item.angles.size());
    std::string out = Format("%u %zu", PlaylistLength(p), angles);
    for (uint32_t ms : ChapterStartsMs(p))
        out += Format(" %u", ms);
    for (const PlayItem& i : p.items)
        out += Format(" %s:%u/%u:%x/%u/%u/%s:%s", i.angles[0].name.c_str(), i.streams.video[0].format,
                      i.streams.video[0].rate, i.streams.audio[0].coding, i.streams.audio[0].format,
                      i.streams.audio[0].sampleRate, i.streams.audio[0].language.c_str(),
                      i.streams.subtitles[0].language.c_str());
    return out;
}

TEST(Playlist, ReadsAsLibblurayReadsIt)
{
    TempDir dir;
    std::vector<MplsSpec> specs;
    for (const auto& [rate, spec] : kPlaylists)
        specs.push_back(spec);
    WriteBdmv(dir.file("disc"), specs);
    MakeIso(dir.file("disc"), dir.file("disc.iso"), {"-udf"});
    bd_set_debug_handler([](const char* message) { libblurayLog += message; });
    for (const char* source : {"disc", "disc.iso"}) {
        BLURAY* bd = bd_open(dir.file(source).c_str(), nullptr);
        ASSERT_TRUE(bd && bd_get_titles(bd, TITLES_ALL, 0) == specs.size()) << source;
        for (uint32_t n = 1; n <= specs.size(); ++n) {
            const Playlist ours =
                ParsePlaylist(ReadFile(dir.file(Format("disc/BDMV/PLAYLIST/%05u.mpls", n))));
            BLURAY_TITLE_INFO* theirs = bd_get_playlist_info(bd, n, 0);
            ASSERT_TRUE(theirs) << source << n;
            EXPECT_EQ(Summary(ours), Summary(*theirs)) << source << n;
            EXPECT_STREQ(PlaylistVideoRate(ours).value().text, kPlaylists[n - 1].first) << n;
            bd_free_title_info(theirs);
        }
        bd_close(bd);
    }
    EXPECT_EQ(libblurayLog, "");
}

TEST(Playlist, RefusesDamagedPlaylistsWithOneLine)
{
    TempDir dir;
    WriteBdmv(dir.path(), {kPlaylists[2].second});  // the first item has two angles
    const std::string good = ReadFile(dir.file("BDMV/PLAYLIST/00001.mpls"));
    const size_t list = 0x3A, item = list + 10, marks = good.size() - 48;
    const std::tuple<size_t, uint64_t, int, const char*> faults[] = {
        // where, what, how many bytes, message
        {39, 0, 0, "the file is not a Blu-ray playlist"},  // 0 bytes: cut there
        {4, 0x30343030, 4, "unknown playlist version \"0400\""},
        {8, 0xFFFFFFF0, 4, "the play item list starts past the end of the file"},
        {list, 0xFFFF, 4, "the play item list runs past the end of the file"},
        {list + 6, 9, 2, "the play item list is cut short"},
        {item, 0xFFFF, 2, "play item 1 runs past the end of the play item list"},
        {item + 2, '/', 1, "play item 1 names a clip that is not five digits"},
        {item + 14, 91 * S, 4, "play item 1 ends before it starts"},
        {item + 18, 0xFFFFFFFF, 4, "the play items add up to more than a playlist's 32-bit clock can count"},
        {item + 34, 200, 1, "the angle list of play item 1 runs past the end of play item 1"},
        {item + 46, 0xFFFF, 2, "the stream table of play item 1 runs past the end of play item 1"},
        {item + 50, 200, 1, "the stream table of play item 1 is cut short"},
        {item + 66, 200, 1,
         "video stream 1 of play item 1 runs past the end of the stream table of play item 1"},
        {marks + 4, 0xFFFF, 2, "mark 4 runs past the end of the mark table"},
        {marks + 8, 7, 2, "mark 1 names play item 8, which the playlist does not have"},
        {marks + 10, 91 * S, 4, "mark 1 lies outside its play item"},
    };
    for (const auto& [at, value, width, message] : faults) {
        std::string bytes = good;
        bytes.resize(width ? bytes.size() : at);
        for (int i = 0; i < width; ++i)
            bytes.at(at + i) = static_cast<char>(value >> (8 * (width - 1 - i)));
        EXPECT_EQ(MessageOf([&] { ParsePlaylist(bytes); }), message) << at;
    }
}

}  // namespace
}  // namespace pelvano::test
