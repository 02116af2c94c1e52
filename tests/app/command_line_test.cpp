// The option form of the command line, through the real executable copied
// into a private folder with the shipped presets and the key-frame module.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <regex>
#include <set>
#include <sstream>

#include "base/error.h"
#include "base/format.h"
#include "base/version.h"
#include "chapters/playlist_loader.h"
#include "chapters/title_loader.h"
#include "load_helpers.h"
#include "mpls_writer.h"
#include "output/format_engine.h"
#include "output/video/video_keyframes.h"
#include "presets/preset_store.h"
#include "test_util.h"

namespace pelvano::test {
namespace {

namespace fs = std::filesystem;

// What the window would have after a load and a few edits, rendered by the
// core in this process.
struct CoreRequest {
    int pgc = 0;  // 1-based; 0: the longest
    bool fixLastChapter = true;
    std::vector<size_t> chapterRows;  // 0-based rows checked, replacing the marks
    std::vector<size_t> unusedRows;   // rows marked "-"
    std::string format;
    std::string header;
    std::string frameRate;  // empty: the title's
    std::string frameOffset = "0";
    std::string msOffset = "0";
    std::string videoFile;
    std::string footer;
    bool exactNtsc = false;
    std::string nameTemplate = std::string(kDefaultNameTemplate);
    int playlist = -1;  // a Blu-ray source's playlist
};

std::string CoreRender(const std::string& ifo, const CoreRequest& r)
{
    LoadRequest request;
    request.fixLastChapter = r.fixLastChapter;
    request.newFile = r.pgc == 0;
    request.currentTitle = r.pgc - 1;
    request.exactNtsc = r.exactNtsc;
    const LoadResult load =
        r.playlist < 0 ? Load(ifo, request) : LoadPlaylist(Source::Open(ifo), r.playlist, request);
    ChapterDocument doc;
    ApplyLoad(doc, load);
    if (!r.chapterRows.empty()) {
        for (CellRow& row : doc.rows)
            row.checked = false;
        MarkSelectedCells(doc, r.chapterRows, "0", true);
        RebuildChapters(doc);
    }
    if (!r.unusedRows.empty()) {
        MarkSelectedCells(doc, r.unusedRows, "-", false);
        RebuildTimestamps(doc);
    }
    RenderInput input{r.format, r.header, r.frameRate, r.frameOffset, r.msOffset, r.footer};
    input.nameTemplate = r.nameTemplate;
    KeyFrameOpener snap;
    KeyFrameIndexCache video;  // "Open video", then "Synch 2 KF" at each rendering
    if (!r.videoFile.empty()) {
        const std::optional<std::string> rate = video.openVideo(r.videoFile);
        if (input.frameRate.empty() && rate)
            input.frameRate = *rate;
        snap = [&] { return video.keyFrames(r.videoFile); };
    }
    if (input.frameRate.empty())
        input.frameRate = *load.frameRate;
    return RenderChapters(doc.model, input, snap).text;
}

// The members of a --list --json document as read by Python's own JSON
// parser, one line each: "source <hex of its UTF-8>", "title N SET PGC
// LENGTH_MS CHAPTERS ANGLES", "set N IFO TV RATE FPS", "pgc SET N LENGTH_MS
// CELLS CHAPTERS", "default SET PGC [TITLE]".
std::vector<std::string> JsonMembers(const std::string& jsonFile)
{
    const char* script = R"(
import json, sys
d = json.load(open(sys.argv[1], encoding='utf-8'))
print('source', d['source'].encode('utf-8').hex())
for t in d['titles']:
    print('title', t['number'], t['title_set'], t['pgc'], t['length_ms'], t['chapters'], t['angles'])
for t in d['title_sets']:
    print('set', t['number'], t['ifo'], t['tv_system'], t['frame_rate'], t['fps'])
    for p in t['pgcs']:
        print('pgc', t['number'], p['number'], p['length_ms'], p['cells'], p['chapters'])
print('default', d['default']['title_set'], d['default']['pgc'], d['default'].get('title', ''))
)";
    const ProcessResult run = RunProcess({PELVANO_PYTHON3, "-c", script, jsonFile});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> lines;
    std::istringstream in(run.out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string Hex(const std::string& bytes)
{
    std::string hex;
    for (unsigned char c : bytes)
        hex += Format("%02x", c);
    return hex;
}

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        ini_ = app_.file("pelvano.INI");
        fs::copy_file(PELVANO_SOURCE_DIR "/resources/pelvano.INI", ini_);
        iniBytes_ = ReadFile(ini_);
    }

    void TearDown() override
    {
        // No run of this form ever writes the presets file.
        EXPECT_EQ(ReadFile(ini_), iniBytes_);
    }

    ProcessResult Run(const std::vector<std::string>& args, const std::string& cwd = {})
    {
        return app_.run(args, cwd.empty() ? work_.path().string() : cwd);
    }

    ExecutableCopy app_;
    TempDir work_;
    std::string ini_;
    std::string iniBytes_;
};

TEST_F(CommandLine, WritesWhatTheBatchFormAndTheCoreWrite)
{
    const std::string sample = ExamplePath("VTS_01_0.IFO");
    const std::string many = FixturePath("dvd/many_chapters/VTS_01_0.IFO");
    const std::string shortLast = FixturePath("dvd/short_last/VTS_01_0.IFO");
    const std::string ntsc = FixturePath("dvd/ntsc/VTS_01_0.IFO");
    const std::string kf25 = FixturePath("avi/kf25.avi");
    const std::string mkv = TestVideo("cues.mkv");
    const std::string mp4 = TestVideo("bframes.mp4");
    const std::string all = "%hh:%mm:%ss:%cc|%ff|%f|%ms|%c/%C";
    const std::string two = FixturePath("dvd/two_sets");
    const std::string disc = work_.file("two");
    MakeDisc(two, disc);
    const std::string film = work_.file("film"), mpls = work_.file("00007.mpls");
    WriteBdmv(film, Film());
    MakeIso(film, film + ".iso", {"-udf"});
    WriteFile(mpls,
              MplsBytes({{{"00001", 0, 63 * 45000, {}}}, {{0, 0}, {0, 60 * 45000}}}));  // a 3 s last chapter
    const std::string preset1 = LoadPresets(ini_).presets[0].format;
    const std::string named = work_.file("named.INI");  // the shipped presets, [Options] last
    WriteFile(named, iniBytes_ + "NameTemplate=Teil %c\r\n");

    // The three-argument form's output for the same request.
    const auto batch = [&](const std::string& ifo, const std::string& selector) {
        const std::string out = work_.file("batch.txt");
        const ProcessResult run = app_.run({ifo, out, selector});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const std::string bytes = ReadFile(out);
        WriteFile(ini_, iniBytes_);  // the batch form rewrote it
        return bytes;
    };
    const auto core = [](const std::string& ifo, CoreRequest r) { return CoreRender(ifo, r); };
    // The rate text "Open video" takes from an AVI file's header.
    const auto aviRate = [](const std::string& avi) { return *KeyFrameIndexCache().openVideo(avi); };
    struct Case {
        std::vector<std::string> args;
        std::function<std::string()> expected;
    };
    const std::vector<Case> cases = {
        {{"-p1", sample}, [&] { return batch(sample, "-p1"); }},
        {{many, "-p", "3"}, [&] { return batch(many, "-p3"); }},  // options after the source
        {{"-p", "3", many}, [&] { return batch(many, "-p3"); }},
        {{"--preset=10", ntsc}, [&] { return batch(ntsc, "-p10"); }},
        {{"--preset", "7", shortLast}, [&] { return batch(shortLast, "-p7"); }},
        {{"-r", many}, [&] { return batch(many, "x"); }},
        {{many, "--report"}, [&] { return batch(many, "x"); }},
        {{"-p4", "--", sample}, [&] { return batch(sample, "-p4"); }},
        {{"-o-", "-p4", sample}, [&] { return batch(sample, "-p4"); }},
        {{"--format=" + all, "--header=H\\n", ntsc},
         [&] { return core(ntsc, {.format = all, .header = "H\\n"}); }},
        {{"--format=%t-%et|%ehh:%emm:%ess.%ems", "--footer=END\\n", ntsc},
         [&] { return core(ntsc, {.format = "%t-%et|%ehh:%emm:%ess.%ems", .footer = "END\\n"}); }},
        // NameTemplate of the presets file, as the batch form reads it; --name-template wins.
        {{"--presets", named, "-p1", sample},
         [&] {
             WriteFile(ini_, ReadFile(named));
             return batch(sample, "-p1");
         }},
        {{"--presets", named, "-p1", "--name-template=%c. %t", sample},
         [&] { return core(sample, {.format = preset1, .nameTemplate = "%c. %t"}); }},
        {{"--format=%t|%f", "--exact-ntsc", ntsc},
         [&] { return core(ntsc, {.format = "%t|%f", .exactNtsc = true}); }},
        {{"--format", all, "-c2", many}, [&] { return core(many, {.pgc = 2, .format = all}); }},
        {{"--format", all, "--pgc", "3", many}, [&] { return core(many, {.pgc = 3, .format = all}); }},
        {{"--format=%c", "--keep-short-last", shortLast},
         [&] { return core(shortLast, {.fixLastChapter = false, .format = "%c"}); }},
        {{"--format", all, "--fps=23976", "--frame-offset", "-3", "--ms-offset=40", sample},
         [&] {
             return core(sample,
                         {.format = all, .frameRate = "23976", .frameOffset = "-3", .msOffset = "40"});
         }},
        {{"--format", all, "--chapter-cells=1,3-4", sample},
         [&] {
             return core(sample, {.chapterRows = {0, 2, 3}, .format = all});
         }},
        {{"--format", all, "--skip-cells", "2", "--chapter-cells=4,2", sample},
         [&] {
             return core(sample, {.chapterRows = {1, 3}, .unusedRows = {1}, .format = all});
         }},
        {{"--format=%f", "--keyframes=" + kf25, "-c", "1", many},
         [&] { return core(many, {.pgc = 1, .format = "%f", .videoFile = kf25}); }},
        // A disc gives what its title set's IFO file gives; by default the
        // title set holding the longest program chain (here the second).
        {{"-p1", disc + ".iso"}, [&] { return batch(two + "/VTS_02_0.IFO", "-p1"); }},
        {{"--format", all, "-s", "1", disc}, [&] { return core(two + "/VTS_01_0.IFO", {.format = all}); }},
        {{"--format", all, "--title-set=2", "-c1", disc + "/VIDEO_TS"},
         [&] { return core(two + "/VTS_02_0.IFO", {.pgc = 1, .format = all}); }},
        {{"--format", all, "-s2", "--skip-cells=1", two + "/VTS_02_0.IFO"},
         [&] { return core(two + "/VTS_02_0.IFO", {.unusedRows = {0}, .format = all}); }},
        {{"--format=%f", "--keyframes", kf25, "--fps=29970", sample},
         [&] { return core(sample, {.format = "%f", .frameRate = "29970", .videoFile = kf25}); }},
        {{"--format=%f %t", "--keyframes=" + mkv, ntsc},
         [&] { return core(ntsc, {.format = "%f %t", .videoFile = mkv}); }},
        {{"--format=%f", "--keyframes", mp4, many},
         [&] { return core(many, {.format = "%f", .videoFile = mp4}); }},
        // Rates as typed: frames per second, thousandths from 1000 up.
        {{"--form=" + all, "--fps=25", sample},
         [&] { return core(sample, {.format = all, .frameRate = "25000"}); }},
        {{"--format", all, "--fps", "29.97", ntsc},
         [&] { return core(ntsc, {.format = all, .frameRate = "29970"}); }},
        {{"--format", all, "--fps=24000/1001", ntsc},
         [&] { return core(ntsc, {.format = all, .frameRate = aviRate(FixturePath("avi/kf23976.avi"))}); }},
        // A Blu-ray's playlists, by default the longest, through every output option.
        {{"-p1", film + ".iso"}, [&] { return core(film, {.format = preset1, .playlist = 1}); }},
        {{"-p1", "--keep-short-last", mpls},
         [&] { return core(mpls, {.fixLastChapter = false, .format = preset1, .playlist = 7}); }},
        {{"--format", all + "|%ef %eff", "--playlist=1", "--skip-cells=2", "--chapter-cells=1,3-5", film},
         [&] {
             return core(film, {.chapterRows = {0, 2, 3, 4},
                                .unusedRows = {1},
                                .format = all + "|%ef %eff",
                                .playlist = 1});
         }},
        {{"--format", all, "--playlist", "4", "--keyframes", kf25, "--frame-offset=2", "--ms-offset=-40",
          film + "/BDMV"},
         [&] {
             return core(
                 film,
                 {.format = all, .frameOffset = "2", .msOffset = "-40", .videoFile = kf25, .playlist = 4});
         }},
    };
    for (const Case& c : cases) {
        const std::string expected = c.expected();
        std::string line;
        for (const std::string& a : c.args)
            line += a + ' ';
        SCOPED_TRACE(line);
        ASSERT_FALSE(expected.empty());
        ProcessResult run = Run(c.args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, expected);
        EXPECT_EQ(run.err, "");
        // The same bytes into a file, replacing what was there.
        std::vector<std::string> toFile = c.args;  // the last -o wins
        const bool ended = std::find(toFile.begin(), toFile.end(), "--") != toFile.end();
        toFile.insert(ended ? toFile.begin() : toFile.end(), {"-o", "out.txt"});
        WriteFile(work_.file("out.txt"), std::string(100000, 'x'));
        run = Run(toFile);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(ReadFile(work_.file("out.txt")), expected);
    }
}

TEST_F(CommandLine, ListingAgreesWithTheLoadsAndIsValidJson)
{
    // A folder name no JSON writer may pass through as it is: quote,
    // backslash, tab, newline, a non-ASCII letter and a byte that is not UTF-8.
    const std::string odd = work_.file("a\"b\\c\td\ne\xc3\xa9"
                                       "f\xff");
    MakeDisc(FixturePath("dvd/two_sets"), odd);
    const std::string three = work_.file("three");  // title set 3 alone, no VIDEO_TS.IFO
    fs::create_directory(three);
    fs::copy_file(ExamplePath("VTS_01_0.IFO"), three + "/VTS_03_0.IFO");
    for (const std::string& source :
         {odd + ".iso", odd, three, FixturePath("dvd/many_chapters/VTS_01_0.IFO")}) {
        SCOPED_TRACE(source);
        const ProcessResult run = Run({"--list", "--json", "-o", "list.json", source});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const std::vector<std::string> members = JsonMembers(work_.file("list.json"));
        ASSERT_GE(members.size(), 4u);
        std::string given = source;
        if (const size_t bad = given.find('\xff'); bad != std::string::npos)
            given.replace(bad, 1, "\xef\xbf\xbd");
        EXPECT_EQ(members.front(), "source " + Hex(given));

        // Every program chain as a load of it shows it; a disc title gives
        // what its title set and program chain give.
        int titles = 0, sets = 0, pgcs = 0;
        std::string defaultSet, defaultPgc, defaultTitle;
        for (const std::string& line : members) {
            std::istringstream in(line);
            std::string kind, title, set, pgc, ifo, tv, rate, fps;
            uint32_t lengthMs = 0, cells = 0, chapters = 0;
            in >> kind;
            if (kind == "title") {
                ++titles;
                in >> title >> set >> pgc;
                for (const char* output : {"-r", "-p1"})
                    EXPECT_EQ(Run({output, "-t", title, source}).out,
                              Run({output, "-s", set, "-c", pgc, source}).out)
                        << line;
                continue;
            }
            if (kind == "set") {
                ++sets;
                in >> set >> ifo >> tv >> rate >> fps;
                EXPECT_EQ(ifo, Format("VTS_%02d_0.IFO", std::stoi(set)));
                EXPECT_EQ(tv + rate + " " + fps, "PAL25000 25");
                continue;
            }
            if (kind == "default")
                in >> defaultSet >> defaultPgc >> defaultTitle;
            if (kind != "pgc")
                continue;
            ++pgcs;
            in >> set >> pgc >> lengthMs >> cells >> chapters;
            const ProcessResult lines = Run({"--format=%c", "-s", set, "-c", pgc, source});
            EXPECT_EQ(std::count(lines.out.begin(), lines.out.end(), '\n'), chapters) << line;
            const std::string report = Run({"-r", "-s", set, "-c", pgc, source}).out;
            EXPECT_NE(report.find(Format("Length: %s in %u cell(s).", FormatMsTime(lengthMs).c_str(), cells)),
                      std::string::npos)
                << line;
        }
        EXPECT_EQ(titles + pgcs + sets + 2, static_cast<int>(members.size()));
        // The default is what a run without -s and -c loads.
        EXPECT_EQ(Run({"-r", source}).out, Run({"-r", "-s", defaultSet, "-c", defaultPgc, source}).out);

        // The text listing: a line per title, title set and program chain,
        // the defaults marked.
        const std::string text = Run({"-l", source}).out;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), titles + sets + pgcs);
        EXPECT_EQ(text.find("* title " + defaultTitle + ":") != std::string::npos, !defaultTitle.empty())
            << text;
        EXPECT_NE(text.find("* title set " + defaultSet + ":"), std::string::npos) << text;
        EXPECT_NE(text.find("* pgc " + defaultPgc + ":"), std::string::npos) << text;
    }
    // A disc's report is its title set's report, the opening line apart.
    const auto tail = [](const std::string& report) { return report.substr(report.find("\r\n")); };
    EXPECT_EQ(tail(Run({"-r", odd + ".iso"}).out),
              tail(Run({"-r", FixturePath("dvd/two_sets/VTS_02_0.IFO")}).out));
}

TEST_F(CommandLine, RelativePathsAndPresetsComeFromTheCaller)
{
    fs::create_directory(work_.file("disc"));
    fs::copy_file(ExamplePath("VTS_01_0.IFO"), work_.file("disc/VTS_01_0.IFO"));
    WriteFile(work_.file("my.ini"), "[Presets]\r\nFormat2=%c.\r\nFooter2=mine\r\n");  // no Header2: empty
    const ProcessResult run =
        Run({"--presets", "../my.ini", "-p2", "-o", "../out.txt", "VTS_01_0.IFO"}, work_.file("disc"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(work_.file("out.txt")), "1.\r\n2.\r\n3.\r\n4.\r\nmine\r\n");
    EXPECT_FALSE(fs::exists(app_.file("out.txt")));
}

TEST_F(CommandLine, UsageErrorsExitTwoWithTheMessage)
{
    const std::string ifo = ExamplePath("VTS_01_0.IFO");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--bogus", ifo}, "unknown option '--bogus'"},
        {{"-x", ifo}, "unknown option '-x'"},
        {{"-r", ifo, "-p"}, "option '-p' needs a value"},
        {{ifo, "-r", "--output"}, "option '--output' needs a value"},
        {{"--list=yes", ifo}, "option '--list' takes no value"},
        {{"-p", "two", ifo}, "--preset: 'two' is not a preset from 1 to 10"},
        {{"-p11", ifo}, "--preset: '11' is not a preset from 1 to 10"},
        {{"--preset=0", ifo}, "--preset: '0' is not a preset from 1 to 10"},
        {{"-s", "-1", ifo}, "--title-set: '-1' is not a number from 1 up"},
        {{"--pgc=1x", ifo}, "--pgc: '1x' is not a number from 1 up"},
        {{"--fps=0", ifo}, "--fps: '0' is not a frame rate (25, 29.97, 30000/1001, or 29970 thousandths)"},
        {{"--fps=-25", ifo},
         "--fps: '-25' is not a frame rate (25, 29.97, 30000/1001, or 29970 thousandths)"},
        {{"--fps=1/0", ifo},
         "--fps: '1/0' is not a frame rate (25, 29.97, 30000/1001, or 29970 thousandths)"},
        {{"--frame-offset", "1.5", ifo}, "--frame-offset: '1.5' is not a whole number"},
        {{"--ms-offset=2147483648", ifo},
         "--ms-offset: '2147483648' is out of range (-2147483648 to 2147483647)"},
        {{"--chapter-cells=3-1", ifo},
         "--chapter-cells: '3-1' is not a list of cell numbers from 1 up such as 1,4,7-9"},
        {{"--skip-cells=1,,2", ifo},
         "--skip-cells: '1,,2' is not a list of cell numbers from 1 up such as 1,4,7-9"},
        {{"--chapter-cells=0", ifo},
         "--chapter-cells: '0' is not a list of cell numbers from 1 up such as 1,4,7-9"},
        {{"-p1"}, "no source given"},
        {{"", "-p1"}, "the source is an empty name"},
        {{"--f=x", ifo}, "option '--f' is ambiguous: --format, --footer, --fps, --frame-offset"},
        {{ifo, "-l", "-r"}, "--list and --report exclude each other"},
        {{"-lp2", ifo}, "--list and --preset exclude each other"},
        {{"--list", "--format=%c", ifo}, "--list and --format exclude each other"},
        {{"-l", "-s1", ifo}, "--list and --title-set exclude each other"},
        {{"-p2", "-r", ifo}, "--report and --preset exclude each other"},
        {{"-p2", "--format=%c", ifo}, "--preset and --format exclude each other"},
        {{"-p1", ifo, "other.IFO"}, "more than one source: '" + ifo + "' and 'other.IFO'"},
        {{"--json", ifo}, "--json works only with --list"},
        {{"--header=H", ifo}, "--header works only with --format"},
        {{"--footer=F", ifo}, "--footer works only with --format"},
        {{"--exact-ntsc=1", ifo}, "option '--exact-ntsc' takes no value"},
        {{"-r", "--format=%c", ifo}, "--report and --format exclude each other"},
        {{"--exact-ntsc", "--list", ifo}, "--list and --exact-ntsc exclude each other"},
        {{"--playlist=1", "-t1", ifo}, "--playlist and --title exclude each other"},
        {{"-c2", "--playlist=1", ifo}, "--playlist and --pgc exclude each other"},
        {{"--playlist=-1", ifo}, "--playlist: '-1' is not a playlist number from 0 to 99999"},
        {{"--all", ifo}, "--all works only with --list"},
        {{"--list", "--playlist=1", ifo}, "--list and --playlist exclude each other"},
        {{"-r", "--names=n.txt", ifo}, "--report and --names exclude each other"},
    };
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(message);
        const ProcessResult run = Run(args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err, "pelvano: " + message + "\nTry 'pelvano --help'.\n");
        EXPECT_EQ(run.out, "");
    }
}

TEST_F(CommandLine, FailuresExitOneNamingTheFileAndKeepTheOutput)
{
    const std::string ifo = ExamplePath("VTS_01_0.IFO");
    const std::string damaged = work_.file("VTS_02_0.IFO");
    WriteFile(damaged, ReadFile(ifo).substr(0, 700));
    const std::string fifo = work_.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string missing = work_.file("missing/VTS_01_0.IFO");
    const std::string out = work_.file("kept.txt");
    const std::string two = FixturePath("dvd/two_sets");
    const std::string mini = work_.file("mini.ini");
    WriteFile(mini, "[Presets]\r\nFormat1=%c\r\n");
    const Disc disc = MakeDisc(two, work_.file("disc"));
    const std::string set1 = disc.videoTs + "/VTS_01_0.IFO", hard = set1 + ".hard", soft = set1 + ".soft";
    fs::create_hard_link(set1, hard);
    fs::create_symlink(set1, soft);
    const char* over = "%s is the source being read (%s): not written over";
    // A playlist cut short (the parser's tests have a row for each fault), and a film.
    const std::string cut = work_.file("cut.mpls"), film = work_.file("film");
    WriteFile(cut, MplsBytes(Film()[0]).substr(0, 120));
    WriteBdmv(film, Film());
    const std::string latin1 = work_.file("latin1.txt");
    WriteFile(latin1, "Caf\xE9\n");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-p1", missing}, missing + ": No such file or directory"},
        {{"-p1", fifo}, fifo + ": is a FIFO, not a DVD"},
        {{"-l", fifo}, fifo + ": is a FIFO, not a DVD"},
        {{"-r", "/dev/null"}, "/dev/null: is a character device, not a DVD"},
        {{"-s", "3", FixturePath("dvd/two_sets")},
         FixturePath("dvd/two_sets") + ": no title set 3 (the source has 1, 2)"},
        {{"-s2", "-c3", FixturePath("dvd/two_sets")},
         FixturePath("dvd/two_sets") + ": no program chain 3 (the title set has 2)"},
        {{"-l", work_.path().string()}, work_.path().string() + ": "},
        {{"-p1", damaged}, damaged + ": "},
        {{"-c", "3", ifo}, ifo + ": no program chain 3 (the title set has 2)"},
        {{"--chapter-cells=1,8", ifo}, "--chapter-cells: program chain 2 has 7 cell(s), no cell 8"},
        {{"--skip-cells=5", "-c1", ifo}, "--skip-cells: program chain 1 has 4 cell(s), no cell 5"},
        {{"--presets=nope.ini", ifo}, "nope.ini: No such file or directory"},
        {{"--names", latin1, missing}, latin1 + ": line 1 is not UTF-8 text"},  // before the source
        {{"--presets", mini, "-p3", ifo}, mini + " has no preset 3 (no Format3 key)"},
        {{"-s", "1", two + "/VTS_02_0.IFO"}, two + "/VTS_02_0.IFO: the file is title set 2, not title set 1"},
        {{"--keyframes", work_.file("nope.mkv"), ifo},
         work_.file("nope.mkv") + ": No such file or directory"},
        {{"--keyframes", mini, ifo}, mini + ": not a video file (AVI, Matroska or MP4/MOV)"},
        {{"-o", "/dev/full", ifo}, "/dev/full: No space left on device"},
        {{"--keyframes", FixturePath("avi/audio_only.avi"), ifo}, FixturePath("avi/audio_only.avi") + ": "},
        {{"--keyframes", TestVideo("vfr.mkv"), ifo}, TestVideo("vfr.mkv") + ": "},
        {{"-o", work_.file("no/dir/x.txt"), ifo}, "Cannot create file " + work_.file("no/dir/x.txt")},
        {{"-o", set1, "-r", set1}, Format(over, set1.c_str(), set1.c_str())},
        {{"-o", disc.iso, "-p1", disc.iso}, Format(over, disc.iso.c_str(), disc.iso.c_str())},
        {{"-o", set1, disc.above}, Format(over, set1.c_str(), set1.c_str())},
        {{"-o", hard, "-l", set1}, Format(over, hard.c_str(), set1.c_str())},
        {{"-o", soft, set1}, Format(over, soft.c_str(), set1.c_str())},
        {{"-t", "1", ifo}, ifo + ": disc titles are in the disc's VIDEO_TS.IFO"},
        {{"-t", "4", disc.iso}, disc.iso + ": no title 4 (the disc has 3)"},
        {{"-l", cut}, cut + ": not a readable playlist: the play item list runs past the end of the file"},
        {{"-s1", film},
         film + ": a Blu-ray source has playlists, not disc titles, title sets or program chains"},
        {{"--playlist=9", film}, film + ": no playlist 00009 (--list --all lists the 4 it has)"},
        {{"--playlist=1", ifo}, ifo + ": a DVD has no playlists: choose with -t, -s and -c"},
        {{"--chapter-cells=19", film}, "--chapter-cells: playlist 00001 has 18 cell(s), no cell 19"},
    };
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(message);
        WriteFile(out, "before");
        std::vector<std::string> withOutput = args;
        if (args[0] != "-o")
            withOutput.insert(withOutput.begin(), {"-o", out});
        const std::string kept = fs::is_regular_file(withOutput[1]) ? ReadFile(withOutput[1]) : "";
        const ProcessResult run = Run(withOutput);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err.rfind("pelvano: " + message, 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(fs::is_regular_file(withOutput[1]) ? ReadFile(withOutput[1]) : "", kept);
    }
}

// A Blu-ray's listing: every playlist it shows as its load shows it, the
// default what a run without --playlist loads; repeats and short ones with
// --all only; an unreadable playlist left out, said on standard error.
TEST_F(CommandLine, BlurayListingAgreesWithTheLoads)
{
    const std::string film = work_.file("film");
    WriteBdmv(film, Film());
    WriteFile(film + "/BDMV/PLAYLIST/00005.mpls", "MPLS0200");
    const char* script =
        "import json, sys\nd = json.load(open(sys.argv[1]))\nprint(d['default']['playlist'])\n"
        "for p in d['playlists']: print(p['number'], p['length_ms'], p['chapters'], p['items'], "
        "p['angles'], p['fps'])";
    for (const char* all : {"--list", "--all"}) {  // a second --list asks for nothing more
        const ProcessResult run = Run({"--list", all, "--json", "-o", "list.json", film});
        EXPECT_EQ(run.err,
                  "pelvano: " + film + ": 00005.mpls cannot be read: the file is not a Blu-ray playlist\n");
        std::istringstream json(RunProcess({PELVANO_PYTHON3, "-c", script, work_.file("list.json")}).out);
        const std::string text = Run({"--list", all, film}).out;
        std::string number, fps;
        uint32_t lengthMs = 0, chapters = 0, items = 0, angles = 0, lines = 0;
        json >> number;
        EXPECT_EQ(Run({"-r", film}).out, Run({"-r", "--playlist", number, film}).out);
        EXPECT_NE(text.find(Format("* playlist %05d: ", std::stoi(number))), std::string::npos) << text;
        for (; json >> number >> lengthMs >> chapters >> items >> angles >> fps; ++lines) {
            const std::string report = Run({"-r", "--playlist", number, film}).out;
            EXPECT_NE(
                report.find(Format("Length: %s in %u play item(s)", FormatMsTime(lengthMs).c_str(), items)),
                std::string::npos);
            const std::string chapterLines = Run({"--format=%c", "--playlist", number, film}).out;
            EXPECT_EQ(std::count(chapterLines.begin(), chapterLines.end(), '\n'), chapters);
            EXPECT_EQ(fps + std::to_string(angles), "23.9761");
        }
        EXPECT_EQ(lines, all == std::string("--all") ? 4 : 2);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), lines + (lines < 4));  // and a note of the rest
    }
}

// A disc title whose chapters run through two program chains: the first
// is used, and standard error says so.
TEST_F(CommandLine, TitleOverTwoProgramChainsUsesTheFirst)
{
    const std::string videoTs = work_.file("VIDEO_TS");
    fs::create_directory(videoTs);
    WriteFile(videoTs + "/VIDEO_TS.IFO", VideoManagerBytes({VmgTitle{1, 1, 1, 3}}));
    const Pgc pgc = Pgc().cell(1, 1, 0, 0, 10, 0).cell(1, 2, 0, 0, 10, 0).programMap({1, 2});
    IfoImage()
        .addPgc(pgc)
        .addPgc(pgc)
        .titleParts({{{1, 1}, {1, 2}, {2, 1}}})
        .writeTo(videoTs + "/VTS_01_0.IFO");
    const ProcessResult run = Run({"-t", "1", videoTs});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, Run({"-s", "1", "-c", "1", videoTs}).out);
    EXPECT_EQ(
        run.err,
        "pelvano: title 1 runs through more than one program chain: its first, 1 of title set 1, is used\n");
    const std::string listing = Run({"-l", videoTs}).out;
    EXPECT_NE(listing.find("* title 1: title set 1, pgc 1, 00:00:20.000, 3 chapter(s), 1 angle(s)\n"),
              std::string::npos)
        << listing;
}

// The window forms without a display, or for a source that is not there: one
// line and exit code 1, never Qt's abort (its module lies beside this copy).
TEST_F(CommandLine, WindowFormsEndWithOneLine)
{
    std::filesystem::copy_file(BinaryPath("libpelvano_gui.so"), app_.file("libpelvano_gui.so"));
    const std::string ifo = ExamplePath("VTS_01_0.IFO");
    const std::string noDisplay =
        "pelvano: cannot open a window: no display (DISPLAY/WAYLAND_DISPLAY unset); "
        "for the command line see 'pelvano --help'\n";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, noDisplay},
        {{ifo}, noDisplay},
        {{ifo, "x", "y", "z"}, noDisplay},
        {{"nothing.IFO", "x"},
         "pelvano: nothing.IFO: No such file or directory (looked up in " + app_.dir().string() + ")\n"},
        {{work_.file("nothing.IFO")},
         "pelvano: " + work_.file("nothing.IFO") + ": No such file or directory\n"},
    };
    for (const auto& [args, message] : cases) {
        const ProcessResult run = Run(args);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, message);
        WriteFile(ini_, iniBytes_);  // a missing source saves the presets, as ever
    }
}

// The README's jq recipe picks the program chain Pelvano picks (the first of
// equal lengths); fps is the frame rate as a number.
TEST_F(CommandLine, ReadmeJqRecipeAgreesWithTheDefault)
{
    const std::string jq = FindProgram("jq"), json = work_.file("list.json");
    std::smatch recipe;
    const std::string readme = ReadFile(PELVANO_SOURCE_DIR "/README.md");
    ASSERT_TRUE(std::regex_search(readme, recipe, std::regex("--list --json /dev/sr0 \\| jq '([^']+)'")));
    for (const auto& [fixture, fps] : {std::pair{"dvd/no_subs", "25"}, std::pair{"dvd/ntsc", "29.97"}}) {
        ASSERT_EQ(Run({"--list", "--json", "-o", json, FixturePath(fixture + std::string("/VTS_01_0.IFO"))})
                      .exitCode,
                  0);
        const ProcessResult picked = RunProcess({jq, "-r", recipe[1].str() + " | .longest.number", json});
        EXPECT_EQ(picked.out + fps + "\n",
                  RunProcess({jq, "-r", ".default.pgc, .title_sets[0].fps", json}).out);
    }
}

// The long options a text names: "--name" followed by '=', space, ',' or end.
std::set<std::string> LongOptions(std::string text)
{
    text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
    std::set<std::string> names;
    const std::regex option(R"(--([a-z][a-z-]*[a-z]))");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it)
        names.insert((*it)[1]);
    return names;
}

TEST_F(CommandLine, HelpVersionManPageAndCompletionAgree)
{
    const ProcessResult help = Run({"--help"});
    ASSERT_EQ(help.exitCode, 0);
    EXPECT_EQ(Run({"-h", "--bogus"}).out, help.out);
    EXPECT_EQ(help.err, "");
    const ProcessResult version = Run({"-V"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, std::string("pelvano ") + kVersion + "\n");
    EXPECT_EQ(Run({"--version"}).out, version.out);
    for (const char* option : {"--help", "--version"}) {
        const ProcessResult full =
            RunProcess({"/bin/sh", "-c", "exec \"$0\" \"$1\" >/dev/full", app_.exe(), option});
        EXPECT_EQ(full.exitCode, 1);
        EXPECT_EQ(full.err, "pelvano: standard output: No space left on device\n");
    }

    std::string man = ReadFile(PELVANO_SOURCE_DIR "/resources/pelvano.1");
    // Each line beginning with '.' is a request the page means (".mkv/.webm" was none).
    EXPECT_FALSE(std::regex_search(man, std::regex(R"((^|\n)\.(?!(TH|SH|TP|PP|B|BR|br|nf|fi|I)\s))")));
    man.resize(man.find(".SH EXAMPLES"));  // the recipes name other programs' options
    const std::string completion = ReadFile(PELVANO_SOURCE_DIR "/resources/bash-completion/pelvano");
    EXPECT_NE(man.find(std::string("\"pelvano ") + kVersion + "\""), std::string::npos);
    const std::set<std::string> options = LongOptions(help.out);
    EXPECT_GE(options.size(), 19u);
    EXPECT_EQ(LongOptions(man), options);
    EXPECT_EQ(LongOptions(completion), options);
}

}  // namespace
}  // namespace pelvano::test
