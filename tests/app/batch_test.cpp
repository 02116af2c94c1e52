// Runs the real executable, copied into a private folder together with its
// presets file, the way a script would.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "base/format.h"
#include "presets/profile_file.h"
#include "test_util.h"

namespace pelvano::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> SplitCrLf(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t pos; (pos = text.find("\r\n", start)) != std::string::npos; start = pos + 2)
        lines.push_back(text.substr(start, pos - start));
    EXPECT_EQ(start, text.size()) << "text does not end with CR LF";
    return lines;
}

uint64_t CeilDiv(uint64_t a, uint64_t b)
{
    return (a + b - 1) / b;
}

class Batch : public ::testing::Test {
protected:
    void SetUp() override { ini_ = app_.file("pelvano.INI"); }

    void WritePresets(const std::vector<std::pair<std::string, std::string>>& formatsAndHeaders)
    {
        ProfileFile ini;
        for (size_t i = 0; i < formatsAndHeaders.size(); ++i) {
            const std::string n = std::to_string(i + 1);
            ini.write("Presets", "Preset" + n, "Name" + n);
            ini.write("Presets", "Format" + n, formatsAndHeaders[i].first);
            ini.write("Presets", "Header" + n, formatsAndHeaders[i].second);
        }
        WriteFile(ini_, ini.contents());
    }

    ProcessResult Run(const std::string& ifo, const std::string& out, const std::string& selector,
                      const std::string& cwd = {})
    {
        return app_.run({ifo, out, selector}, cwd.empty() ? outDir_.path().string() : cwd);
    }

    std::string LastDir() { return ProfileFile::Load(ini_).read("Options", "LastDir", "<none>"); }

    ExecutableCopy app_;
    TempDir outDir_;
    std::string ini_;
};

TEST_F(Batch, ChapterTimesMatchDvdxchapOnEveryTitleSet)
{
    WritePresets({{"%hh:%mm:%ss.%ms", ""}});
    for (const std::string& folder : TitleSetFolders()) {
        SCOPED_TRACE(folder);
        const int track = LsdvdLongestTrack(folder + "/lsdvd.txt");
        ASSERT_GT(track, 0);
        const std::vector<uint32_t> times =
            DvdxchapTimes(folder + "/dvdxchap_t" + std::to_string(track) + ".txt");
        ASSERT_FALSE(times.empty());

        const std::string out = outDir_.file("chapters.txt");
        const ProcessResult run = Run(folder + "/VTS_01_0.IFO", out, "-p1");
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const std::vector<std::string> lines = SplitCrLf(ReadFile(out));
        // A last chapter under 5 s is dropped by default; dvdxchap lists it.
        ASSERT_GE(lines.size() + 1, times.size());
        ASSERT_LE(lines.size(), times.size());
        for (size_t k = 0; k < lines.size(); ++k) {
            const uint32_t ms = times[k];
            EXPECT_EQ(lines[k], Format("%02u:%02u:%02u.%03u", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60,
                                       ms % 1000));
        }
    }
}

// The stored "Exact NTSC time" and a preset's footer reach batch mode as
// they reach the window: the NTSC title's second chapter at 450 frames,
// 15.015 s where dvdxchap says 15.000 s.
TEST_F(Batch, ExactNtscOptionAndFooterFromThePresetsFile)
{
    WritePresets({{"%t-%et", "begin"}});
    ProfileFile ini = ProfileFile::Load(ini_);
    ini.write("Presets", "Footer1", "end\\n");
    ini.write("Options", "ExactNTSC", "1");
    WriteFile(ini_, ini.contents());

    const std::string out = outDir_.file("chapters.txt");
    const ProcessResult run = Run(FixturePath("dvd/ntsc/VTS_01_0.IFO"), out, "-p1");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = SplitCrLf(ReadFile(out));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "begin");
    EXPECT_EQ(lines[1], "0-15015");
    EXPECT_EQ(lines[2], "15015-30030");
    EXPECT_EQ(lines[4], "end");
    EXPECT_EQ(lines[5], "");
    EXPECT_EQ(ProfileFile::Load(ini_).read("Options", "ExactNTSC", ""), "1");
}

TEST_F(Batch, EveryPlaceholderHeaderAndLineBreaks)
{
    WritePresets(
        {{"x", ""}, {"", ""}, {"%hh:%mm:%ss:%cc|%ff|%f|%ms|%c/%C|%hhh%fff%ccc\\n-", "Chapters\\nof %c"}});
    const std::string ifo = ExamplePath("VTS_01_0.IFO");
    const std::vector<uint32_t> times = DvdxchapTimes(ExamplePath("dvdxchap_t2.txt"));
    ASSERT_EQ(times.size(), 4u);

    const std::string out = outDir_.file("all.txt");
    ProcessResult run = Run(ifo, out, "-p3");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::string expected = "Chapters\r\nof %c\r\n";
    for (size_t k = 0; k < times.size(); ++k) {
        const uint32_t ms = times[k];
        const uint32_t rem = ms % 1000;
        const unsigned ff = static_cast<unsigned>(CeilDiv(uint64_t{rem} * 25000, 1000000));
        const unsigned f = static_cast<unsigned>(CeilDiv(uint64_t{ms} * 25000, 1000000));
        const std::string hh = Format("%02u", ms / 3600000);
        const std::string cc = Format("%02u", rem / 10);
        expected +=
            Format("%s:%02u:%02u:%s|%02u|%u|%03u|%zu/%02zu|%sh%02uf%sc\r\n-\r\n", hh.c_str(), ms / 60000 % 60,
                   ms / 1000 % 60, cc.c_str(), ff, f, rem, k + 1, k + 1, hh.c_str(), ff, cc.c_str());
    }
    EXPECT_EQ(ReadFile(out), expected);

    // An empty format gives one bare line break per chapter.
    run = Run(ifo, out, "-p2");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(out), "\r\n\r\n\r\n\r\n");
}

TEST_F(Batch, SelectorsPickAPresetOrTheRawReport)
{
    std::vector<std::pair<std::string, std::string>> presets;
    for (int n = 1; n <= 10; ++n)
        presets.push_back({"", "preset " + std::to_string(n)});
    WritePresets(presets);
    const std::string ifo = ExamplePath("VTS_01_0.IFO");
    const std::string out = outDir_.file("o.txt");
    const std::string chapters = "\r\n\r\n\r\n\r\n";
    const std::vector<std::pair<std::string, std::string>> picks = {{"-p10", "preset 10\r\n" + chapters},
                                                                    {"-p+2", "preset 2\r\n" + chapters},
                                                                    {"-p 3", "preset 3\r\n" + chapters},
                                                                    {"-p7junk", "preset 7\r\n" + chapters}};
    for (const auto& [selector, text] : picks) {
        ASSERT_EQ(Run(ifo, out, selector).exitCode, 0) << selector;
        EXPECT_EQ(ReadFile(out), text) << selector;
    }
    for (const std::string selector : {"-p0", "-p11", "-P3", "x", "-p", "-p-1", "-p99999999999"}) {
        WriteFile(out, "old content that is longer than nothing");
        ASSERT_EQ(Run(ifo, out, selector).exitCode, 0) << selector;
        const std::string report = ReadFile(out);
        EXPECT_EQ(report.rfind("Opening IFO file " + ifo + " OK.\r\n", 0), 0u) << selector;
        EXPECT_NE(report.find("\r\nProgram Chain(s):\r\n"), std::string::npos) << selector;
        EXPECT_EQ(report.find("old content"), std::string::npos) << selector;
        EXPECT_EQ(report.find('\n'), report.find("\r\n") + 1) << selector;
    }
}

TEST_F(Batch, RelativePathsResolveAgainstTheProgramsFolder)
{
    WritePresets({{"%c", ""}});
    fs::copy_file(ExamplePath("VTS_01_0.IFO"), app_.file("VTS_01_0.IFO"));
    const ProcessResult run = Run("VTS_01_0.IFO", "out.txt", "-p1", outDir_.path().string());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(app_.file("out.txt")), "1\r\n2\r\n3\r\n4\r\n");
    EXPECT_FALSE(fs::exists(outDir_.file("out.txt")));

    const std::string ifo = app_.file("VTS_01_0.IFO");  // the source named another way: not written over
    fs::remove(ini_);                                   // while the presets are written back all the same
    const ProcessResult over = Run("VTS_01_0.IFO", ifo, "-p1", outDir_.path().string());
    EXPECT_EQ(over.exitCode, 1);
    EXPECT_EQ(over.err, ifo + " is the source being read (VTS_01_0.IFO): not written over\n");
    EXPECT_EQ(ReadFile(ifo), ReadFile(ExamplePath("VTS_01_0.IFO")));
    EXPECT_EQ(LastDir(), app_.dir().string());
}

// A missing file or a folder: the three-argument form takes IFO files only.
TEST_F(Batch, NoIfoFileWritesNothingAndStillSavesThePresets)
{
    WritePresets({{"%c", ""}});
    const std::string out = outDir_.file("never.txt");
    for (const auto& [source, selector] :
         {std::pair{outDir_.file("nope/VTS_01_0.IFO"), "-p1"}, std::pair{outDir_.path().string(), "x"}}) {
        SCOPED_TRACE(source);
        const ProcessResult run = Run(source, out, selector);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_FALSE(fs::exists(out));
        EXPECT_EQ(LastDir(), app_.dir().string());
    }

    // With one or two arguments the run ends the same way before any window
    // exists: no display is needed to find that out.
    WritePresets({{"%c", ""}});
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"nothing_here.IFO"}, std::vector<std::string>{"nothing_here.IFO", out}}) {
        const ProcessResult interactive = app_.run(args, outDir_.path().string());
        EXPECT_EQ(interactive.exitCode, 1);
        EXPECT_EQ(LastDir(), app_.dir().string());
    }
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(Batch, UnwritableOutputFailsWithTheMessage)
{
    const std::string out = outDir_.file("no/such/folder/out.txt");
    const ProcessResult run = Run(ExamplePath("VTS_01_0.IFO"), out, "-p1");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "Cannot create file " + out + "\n");
    EXPECT_EQ(LastDir(), app_.dir().string());
}

TEST_F(Batch, PresetsFileIsRewrittenKeepingForeignLines)
{
    WriteFile(ini_, "; my notes\r\n[Presets]\r\nPreset2=DVD\r\nPreset11=kept\r\n[Mine]\r\na=b\r\n");
    ASSERT_EQ(Run(ExamplePath("VTS_01_0.IFO"), outDir_.file("o.txt"), "-p2").exitCode, 0);
    EXPECT_EQ(ReadFile(outDir_.file("o.txt")), "Header2\r\nFormat2\r\nFormat2\r\nFormat2\r\nFormat2\r\n");
    const std::string ini = ReadFile(ini_);
    EXPECT_EQ(ini.rfind("; my notes\r\n[Presets]\r\nPreset2=DVD\r\n", 0), 0u);
    EXPECT_NE(ini.find("Preset11=kept\r\n"), std::string::npos);
    EXPECT_NE(ini.find("[Mine]\r\na=b\r\n"), std::string::npos);
    const ProfileFile saved = ProfileFile::Load(ini_);
    EXPECT_EQ(saved.read("Presets", "Preset1", "?"), "Preset1");
    EXPECT_EQ(saved.read("Presets", "Header10", "?"), "Header10");
    EXPECT_EQ(saved.read("Options", "LastDir", "?"), app_.dir().string());
}

TEST_F(Batch, UnwritablePresetsFileIsReportedButTheOutputStands)
{
    // A folder in the presets file's place can't be replaced, even by root.
    fs::create_directory(ini_);
    const std::string out = outDir_.file("o.txt");
    const ProcessResult run = Run(ExamplePath("VTS_01_0.IFO"), out, "-p1");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "Unable to write to " + ini_ + "\n");
    EXPECT_TRUE(fs::exists(out));
}

TEST_F(Batch, DamagedIfoGivesTheReportLine)
{
    const std::string ifo = outDir_.file("VTS_01_0.IFO");
    std::string bytes = ReadFile(ExamplePath("VTS_01_0.IFO"));
    bytes.resize(700);
    WriteFile(ifo, bytes);
    const std::string out = outDir_.file("o.txt");
    const ProcessResult run = Run(ifo, out, "x");
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(ReadFile(out), "error opening file " + ifo + "\r\nThe file is not a title-set IFO file.\r\n");
    // Standard error says why too, on one line naming the file.
    EXPECT_EQ(run.err.rfind("pelvano: " + ifo + ": ", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    WritePresets({{"%c", "head"}});
    ASSERT_EQ(Run(ifo, out, "-p1").exitCode, 0);
    EXPECT_EQ(ReadFile(out), "head\r\n");
}

// The functions a binary defines for others to call.
std::set<std::string> ExportedFunctions(const std::string& file)
{
    std::set<std::string> names;
    std::istringstream lines(RunProcess({"/usr/bin/nm", "-D", "--defined-only", file}).out);
    for (std::string address, type, name; lines >> address >> type >> name;) {
        if (type == "T" || type == "W" || type == "i")
            names.insert(name.substr(0, name.find('@')));
    }
    return names;
}

// libdvdread nowhere; Qt only in the window module, FFmpeg only in the video
// module; and none of them stands in for a C library function.
TEST(Executable, LinksWhatEachPartNeedsAndNothingElse)
{
    const struct {
        const char* file;
        std::vector<const char*> links, never;
    } cases[] = {
        {"pelvano", {"libudfread"}, {"libdvdread", "libQt", "libavformat"}},
        {"libpelvano_gui.so", {"libQt6Widgets", "libudfread"}, {"libdvdread", "libavformat", "libavcodec"}},
        {"libpelvano_video.so", {"libavformat"}, {"libdvdread", "libQt"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        if (!std::filesystem::exists(BinaryPath(c.file)))
            continue;  // built without the window
        const ProcessResult ldd = RunProcess({"/usr/bin/ldd", BinaryPath(c.file)});
        ASSERT_EQ(ldd.exitCode, 0);
        for (const char* lib : c.links)
            EXPECT_NE(ldd.out.find(lib), std::string::npos) << lib;
        for (const char* lib : c.never)
            EXPECT_EQ(ldd.out.find(lib), std::string::npos) << lib;
        std::smatch libc;
        ASSERT_TRUE(std::regex_search(ldd.out, libc, std::regex(R"(libc\.so\.6 => (\S+))")));
        const std::set<std::string> theirs = ExportedFunctions(libc[1]);
        for (const std::string& name : ExportedFunctions(BinaryPath(c.file)))
            EXPECT_EQ(theirs.count(name), 0u) << name;
    }
}

}  // namespace
}  // namespace pelvano::test
