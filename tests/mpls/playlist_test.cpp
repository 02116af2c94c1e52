// Our playlist parser against libbluray on the writer's discs, and the
// damaged files it must refuse.
#include <gtest/gtest.h>
#include <libbluray/bluray.h>
#include <libbluray/log_control.h>

#include <algorithm>

#include "base/format.h"
#include "mpls/playlist.h"
#include "mpls/playlist_timeline.h"
#include "mpls_writer.h"
#include "test_util.h"

namespace pelvano::test {
namespace {

constexpr uint32_t S = kPlaylistTicksPerSecond;

struct Disc {
    const char* name;
    MplsSpec spec;
    const char* rate;
};

const Disc kDiscs[] = {
    {"items starting inside their clips, marks inside items and in the last 5 s",
     {{{"00001", 10 * S, 610 * S, {}, 1},
       {"00002", 5 * S, 905 * S, {}, 1},
       {"00003", 0, 1200 * S + 7, {}, 1}},
      {{0, 10 * S}, {0, 300 * S + 1}, {1, 5 * S}, {1, 400 * S + 44}, {2, 700 * S}, {2, 1196 * S}}},
     "23976"},
    {"marks at one time, a link mark, a mark at an item's end",
     {{{"00011", 0, 60 * S, {}, 2}, {"00012", 0, 60 * S, {}, 2}},
      {{0, 0}, {0, 30 * S}, {0, 30 * S}, {0, 45 * S, 2}, {0, 60 * S}, {1, 0}},
      "0100"},
     "24000"},
    {"items of two and three angles",
     {{{"00021", 0, 90 * S, {"00022"}, 3},
       {"00023", 0, 90 * S, {}, 3},
       {"00024", 0, 30 * S, {"00025", "00026"}, 3}},
      {{0, 0}, {1, 10 * S}, {2, 1}},
      "0300"},
     "25000"},
    {"29.97", {{{"00031", 45, 600 * S + 1, {}, 4}}, {{0, 46}, {0, 100 * S}}}, "29970"},
    {"50", {{{"00041", 0, 600 * S, {}, 6}}, {{0, 0}, {0, 599 * S}}}, "50000"},
    {"59.94", {{{"00051", 0, 600 * S, {}, 7}, {"00052", 0, 20, {}, 7}}, {{1, 0}, {1, 19}}}, "59940"},
};

std::string libblurayLog;

TEST(Playlist, ChaptersClipsAndStreamsAsLibblurayReadsThem)
{
    TempDir dir;
    std::map<int, MplsSpec> playlists;
    for (const Disc& disc : kDiscs)
        playlists[static_cast<int>(playlists.size() + 1)] = disc.spec;
    WriteBdmv(dir.file("disc"), playlists);
    MakeIso(dir.file("disc"), dir.file("disc.iso"), {"-udf"});
    bd_set_debug_handler([](const char* message) { libblurayLog += message; });
    for (const std::string source : {"disc", "disc.iso"}) {
        BLURAY* bd = bd_open(dir.file(source).c_str(), nullptr);
        ASSERT_NE(bd, nullptr);
        ASSERT_EQ(bd_get_titles(bd, TITLES_ALL, 0), std::size(kDiscs));
        for (const auto& [number, spec] : playlists) {
            const Disc& disc = kDiscs[number - 1];
            SCOPED_TRACE(source + ": " + disc.name);
            const Playlist ours = ParsePlaylist(MplsBytes(spec));
            BLURAY_TITLE_INFO* theirs = bd_get_playlist_info(bd, static_cast<uint32_t>(number), 0);
            ASSERT_NE(theirs, nullptr);
            std::vector<uint32_t> starts;
            for (uint32_t c = 0; c < theirs->chapter_count; ++c)  // 90 kHz
                starts.push_back(static_cast<uint32_t>((theirs->chapters[c].start + 89) / 90));
            std::sort(starts.begin(), starts.end());
            starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
            EXPECT_EQ(ChapterStartsMs(ours), starts);
            EXPECT_EQ(PlaylistLength(ours) * uint64_t{2}, theirs->duration);
            ASSERT_EQ(ours.items.size(), theirs->clip_count);
            size_t angles = 0;
            for (uint32_t c = 0; c < theirs->clip_count; ++c) {
                const PlayItem& item = ours.items[c];
                const BLURAY_CLIP_INFO& clip = theirs->clips[c];
                angles = std::max(angles, item.angles.size());
                EXPECT_EQ(item.angles[0].name, clip.clip_id);
                ASSERT_EQ(item.streams.video.size(), clip.video_stream_count);
                EXPECT_EQ(item.streams.video[0].rate, clip.video_streams[0].rate);
                EXPECT_EQ(item.streams.video[0].format, clip.video_streams[0].format);
                ASSERT_EQ(item.streams.audio.size(), clip.audio_stream_count);
                EXPECT_EQ(item.streams.audio[0].coding, clip.audio_streams[0].coding_type);
                EXPECT_EQ(item.streams.audio[0].format, clip.audio_streams[0].format);
                EXPECT_EQ(item.streams.audio[0].sampleRate, clip.audio_streams[0].rate);
                EXPECT_EQ(item.streams.audio[0].language,
                          reinterpret_cast<const char*>(clip.audio_streams[0].lang));
                ASSERT_EQ(item.streams.subtitles.size(), clip.pg_stream_count);
                EXPECT_EQ(item.streams.subtitles[0].language,
                          reinterpret_cast<const char*>(clip.pg_streams[0].lang));
            }
            EXPECT_EQ(angles, theirs->angle_count);
            EXPECT_STREQ(PlaylistVideoRate(ours)->text, disc.rate);
            bd_free_title_info(theirs);
        }
        bd_close(bd);
    }
    EXPECT_EQ(libblurayLog, "");
}

void Poke(std::string& bytes, size_t at, uint64_t value, int width)
{
    for (int i = width - 1; i >= 0; --i)
        bytes.at(at++) = static_cast<char>(value >> (8 * i));
}

TEST(Playlist, RefusesDamagedFilesWithOneLine)
{
    const std::string good = MplsBytes(kDiscs[2].spec);
    const auto u32 = [&](size_t at) {
        return uint32_t(uint8_t(good[at])) << 24 | uint8_t(good[at + 1]) << 16 | uint8_t(good[at + 2]) << 8 |
               uint8_t(good[at + 3]);
    };
    const size_t list = u32(8), item = list + 10, marks = u32(12);
    struct Fault {
        const char* what;
        size_t at;
        uint64_t value;
        int width;  // 0: the file cut at `at`
        const char* message;
    };
    const Fault faults[] = {
        {"short header", 39, 0, 0, "the file is not a Blu-ray playlist"},
        {"version", 4, 0x30343030, 4, "unknown playlist version \"0400\""},
        {"play list offset", 8, 0xFFFFFFF0, 4, "the play list starts past the end of the file"},
        {"play list length", list, 0xFFFF, 4, "the play list runs past the end of the file"},
        {"item count", list + 6, 9, 2, "the play list is cut short"},
        {"item length", item, 0xFFFF, 2, "play item 1 runs past the end of the play list"},
        {"clip name", item + 2, '/', 1, "play item 1 names a clip that is not five digits"},
        {"out before in", item + 14, 91 * S, 4, "play item 1 ends before it starts"},
        {"overflow", item + 18, 0xFFFFFFFF, 4,
         "the play items add up to more than a playlist's 32-bit clock can count"},
        {"angle count", item + 34, 200, 1, "the angle list of play item 1 runs past the end of play item 1"},
        {"stream table length", item + 46, 0xFFFF, 2,
         "the stream table of play item 1 runs past the end of play item 1"},
        {"stream count", item + 50, 200, 1, "the stream table of play item 1 is cut short"},
        {"attributes length", item + 62 + 4, 200, 1,
         "video stream 1 of play item 1 runs past the end of the stream table of play item 1"},
        {"mark table offset", 12, 0xFFFFFFF0, 4, "the mark table starts past the end of the file"},
        {"mark table length", marks, 0xFFFF, 4, "the mark table runs past the end of the file"},
        {"mark count", marks + 4, 0xFFFF, 2, "mark 4 runs past the end of the mark table"},
        {"mark's item", marks + 8, 7, 2, "mark 1 names play item 8, which the playlist does not have"},
        {"mark outside its item", marks + 10, 91 * S, 4, "mark 1 lies outside its play item"},
    };
    for (const Fault& f : faults) {
        std::string bytes = good;
        if (f.width == 0)
            bytes.resize(f.at);
        else
            Poke(bytes, f.at, f.value, f.width);
        EXPECT_EQ(MessageOf([&] { ParsePlaylist(bytes); }), f.message) << f.what;
    }
}

}  // namespace
}  // namespace pelvano::test
