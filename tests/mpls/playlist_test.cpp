// Blu-ray sources and their playlists against libbluray on the writer's
// discs, the frames of marks, and the damaged playlists the parser refuses.
#include <gtest/gtest.h>
#include <libbluray/bluray.h>
#include <libbluray/log_control.h>

#include <set>
#include <sstream>

#include "base/format.h"
#include "chapters/playlist_loader.h"
#include "mpls/playlist_timeline.h"
#include "mpls_writer.h"
#include "output/format_engine.h"
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

// Length, play items, angles, chapter starts (ms; one at 0 and none at the
// very end, as a load makes its rows); per clip its name and the video,
// audio and subtitle codes.
std::string Summary(const BLURAY_TITLE_INFO& t)
{
    std::set<uint64_t> starts = {0};
    for (uint32_t c = 0; c < t.chapter_count; ++c)
        if (t.chapters[c].start < t.duration)
            starts.insert((t.chapters[c].start + 89) / 90);  // 90 kHz
    std::string out =
        Format("%llu %u %u", static_cast<unsigned long long>(t.duration / 2), t.clip_count, t.angle_count);
    for (uint64_t ms : starts)
        out += Format(" %llu", static_cast<unsigned long long>(ms));
    for (const BLURAY_CLIP_INFO& c : std::vector(t.clips, t.clips + t.clip_count))
        out += Format(" %s:%u/%u:%x/%u/%u/%s:%s", c.clip_id, c.video_streams[0].format,
                      c.video_streams[0].rate, c.audio_streams[0].coding_type, c.audio_streams[0].format,
                      c.audio_streams[0].rate, c.audio_streams[0].lang, c.pg_streams[0].lang);
    return out;
}

// The same of a source's playlist: its summary and a load's rows.
std::string Summary(const Source& source, const PlaylistSummary& s)
{
    const Playlist& p = *source.parsedPlaylist(s.number);
    const LoadResult load = LoadPlaylist(source, s.number, {.fixLastChapter = false});
    std::string out = Format("%u %u %u", PlaylistLength(p), s.items, s.angles);
    for (size_t k = 0; k < load.model->chapterCount; ++k)
        out += Format(" %u", load.model->chapterStartMs(k));
    for (const PlayItem& i : p.items)
        out += Format(" %s:%u/%u:%x/%u/%u/%s:%s", i.angles[0].name.c_str(), i.streams.video[0].format,
                      i.streams.video[0].rate, i.streams.audio[0].coding, i.streams.audio[0].format,
                      i.streams.audio[0].sampleRate, i.streams.audio[0].language.c_str(),
                      i.streams.subtitles[0].language.c_str());
    return out;
}

// Whole sources (folder, BDMV folder, image) against libbluray: every
// playlist, and the playlists a listing shows against its filter of
// duplicates and titles under 10 s.
TEST(PlaylistSource, ReadsAsLibblurayReadsIt)
{
    TempDir dir;
    std::vector<MplsSpec> specs;
    for (const auto& [rate, spec] : kPlaylists)
        specs.push_back(spec);
    bd_set_debug_handler([](const char* message) { libblurayLog += message; });
    for (const auto& [name, playlists] : {std::pair{"writer", specs}, std::pair{"film", Film()}}) {
        WriteBdmv(dir.file(name), playlists);
        MakeIso(dir.file(name), dir.file(name) + ".iso", {"-udf"});
        for (const std::string& path : {dir.file(name), dir.file(name) + "/BDMV", dir.file(name) + ".iso"}) {
            SCOPED_TRACE(path);
            const Source source = Source::Open(path);
            BLURAY* bd =
                bd_open(path == dir.file(name) + "/BDMV" ? dir.file(name).c_str() : path.c_str(), nullptr);
            ASSERT_TRUE(bd && source.playlists().size() == playlists.size());
            EXPECT_EQ(source.listedPlaylists().size(), bd_get_titles(bd, TITLES_FILTER_DUP_TITLE, 10));
            for (const PlaylistSummary& p : source.playlists()) {
                BLURAY_TITLE_INFO* theirs = bd_get_playlist_info(bd, p.number, 0);
                ASSERT_TRUE(theirs) << p.number;
                EXPECT_EQ(Summary(source, p), Summary(*theirs)) << p.number;
                EXPECT_EQ(p.frameRate,
                          name == std::string("film") ? "23976" : kPlaylists[p.number - 1].first);
                bd_free_title_info(theirs);
            }
            bd_close(bd);
        }
    }
    EXPECT_EQ(libblurayLog, "");
}

// A mark on the tick at or before frame n of 24000/1001 video renders as
// frame n, and its frame in the second as that frame's exact time gives it
// (the rounded-up millisecond would make some of either one late).
TEST(PlaylistSource, FramesComeFromTheExactTicks)
{
    const std::vector<uint32_t> frames = {0, 1, 2, 23, 24, 25, 100, 2997, 2998, 8998, 23977};
    MplsSpec spec{{{"00001", 0, 1200 * S, {}}}, {}};
    for (const uint32_t n : frames)
        spec.marks.push_back({0, static_cast<uint32_t>(n * 45045ull / 24)});
    TempDir dir;
    WriteFile(dir.file("00001.mpls"), MplsBytes(spec));
    const LoadResult load = LoadPlaylist(Source::Open(dir.file("00001.mpls")), 1, {});
    ASSERT_TRUE(load.model && load.frameRate == "23976");
    std::istringstream lines(RenderChapters(*load.model, {"%f %hh %mm %ss %ff", "", "23976", "0", "0"}).text);
    for (const uint64_t n : frames) {
        uint64_t f = 0, h = 0, m = 0, sec = 0, ff = 0;
        lines >> f >> h >> m >> sec >> ff;
        const uint64_t second = (h * 60 + m) * 60 + sec;
        EXPECT_EQ(f, n);
        EXPECT_EQ(ff, ((n * 1001 - 24000 * second) * 23976 + 23'999'999) / 24'000'000) << n;
    }
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
