// The shipped presets for ffmpeg, WebVTT and Matroska, rendered from the
// sample title set and read back by the tools they are written for.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <regex>

#include "base/format.h"
#include "chapters/title_loader.h"
#include "load_helpers.h"
#include "output/format_engine.h"
#include "presets/preset_store.h"
#include "test_util.h"

namespace pelvano::test {
namespace {

const std::string kShippedPresets = std::string(PELVANO_RESOURCES_DIR) + "/pelvano.INI";

struct Chapter {
    uint32_t startMs;
    uint32_t endMs;
    std::string title;

    bool operator==(const Chapter&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Chapter& c)
{
    return out << c.startMs << "-" << c.endMs << " " << c.title;
}

class ThroughTheirTools : public ::testing::Test {
protected:
    void SetUp() override
    {
        const LoadResult load = Load(ExamplePath("VTS_01_0.IFO"));
        ASSERT_TRUE(load.model);
        model_ = *load.model;
        rate_ = load.frameRate.value_or("25000");
        // Each chapter ends where the next begins, the last at the total.
        const size_t count = model_.chapterCount;
        ASSERT_GE(count, 2u);
        for (size_t k = 0; k < count; ++k) {
            const uint32_t start = model_.cellStartsMs[model_.chapterStarts[k] - 1];
            const uint32_t end = k + 1 < count ? model_.cellStartsMs[model_.chapterStarts[k + 1] - 1]
                                               : model_.cellStartsMs.back();
            expected_.push_back({start, end, Format("Chapter %02zu", k + 1)});
        }
    }

    // The preset's chapter list for the sample, written to a file.
    std::string Render(const std::string& presetName, const std::string& fileName)
    {
        const PresetStore store = LoadPresets(kShippedPresets);
        for (const Preset& p : store.presets) {
            if (p.name != presetName)
                continue;
            const std::string path = dir_.file(fileName);
            WriteFile(path, RenderChapters(model_, {p.format, p.header, rate_, "0", "0", p.footer}).text);
            return path;
        }
        ADD_FAILURE() << "no shipped preset named " << presetName;
        return {};
    }

    // A small video a little longer than the title.
    std::string MakeVideo()
    {
        const std::string path = dir_.file("video.mkv");
        const std::string seconds = std::to_string(expected_.back().endMs / 1000 + 1);
        const ProcessResult r = RunProcess({FindProgram("ffmpeg"), "-v", "error", "-f", "lavfi", "-i",
                                            "color=c=black:s=16x16:r=5:d=" + seconds, "-c:v", "mpeg4", path});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return path;
    }

    static bool Missing(std::initializer_list<const char*> tools, std::string& which)
    {
        for (const char* tool : tools) {
            if (FindProgram(tool).empty()) {
                which = tool;
                return true;
            }
        }
        return false;
    }

    static uint32_t Ms(const std::string& seconds)
    {
        return static_cast<uint32_t>(std::llround(std::stod(seconds) * 1000));
    }

    TempDir dir_;
    TitleModel model_;
    std::string rate_;
    std::vector<Chapter> expected_;
};

#define SKIP_WITHOUT(...)                                                                                    \
    do {                                                                                                     \
        std::string missing;                                                                                 \
        if (Missing({__VA_ARGS__}, missing))                                                                 \
            GTEST_SKIP() << missing << " is not installed (setup.sh installs ffmpeg and mkvtoolnix)";        \
    } while (0)

TEST_F(ThroughTheirTools, FfmpegMetadataBecomesTheChaptersOfAVideo)
{
    SKIP_WITHOUT("ffmpeg", "ffprobe");
    const std::string chapters = Render("ffmpeg metadata (FFMETADATA1)", "chapters.txt");
    const std::string video = MakeVideo();
    const std::string out = dir_.file("out.mkv");
    const ProcessResult mux =
        RunProcess({FindProgram("ffmpeg"), "-v", "error", "-i", video, "-i", chapters, "-map", "0",
                    "-map_metadata", "1", "-map_chapters", "1", "-c", "copy", out});
    ASSERT_EQ(mux.exitCode, 0) << mux.err;
    const ProcessResult probe =
        RunProcess({FindProgram("ffprobe"), "-v", "error", "-show_chapters", "-of", "json", out});
    ASSERT_EQ(probe.exitCode, 0) << probe.err;

    std::vector<Chapter> got;
    const std::regex chapter(
        R"re("start_time": "([0-9.]+)",\s*"end": \d+,\s*"end_time": "([0-9.]+)",\s*"tags": \{\s*"title": "([^"]*)")re");
    for (auto it = std::sregex_iterator(probe.out.begin(), probe.out.end(), chapter);
         it != std::sregex_iterator(); ++it)
        got.push_back({Ms((*it)[1]), Ms((*it)[2]), (*it)[3]});
    EXPECT_EQ(got, expected_) << probe.out;
}

TEST_F(ThroughTheirTools, WebVttParsesWithFfmpegsDemuxer)
{
    SKIP_WITHOUT("ffmpeg", "ffprobe");
    const std::string chapters = Render("WebVTT chapters", "chapters.vtt");
    const ProcessResult probe =
        RunProcess({FindProgram("ffprobe"), "-v", "error", "-f", "webvtt", "-show_packets", "-show_entries",
                    "packet=pts_time,duration_time", "-of", "csv=p=0", chapters});
    ASSERT_EQ(probe.exitCode, 0) << probe.err;
    const ProcessResult text =
        RunProcess({FindProgram("ffmpeg"), "-v", "error", "-f", "webvtt", "-i", chapters, "-f", "srt", "-"});
    ASSERT_EQ(text.exitCode, 0) << text.err;

    std::vector<std::string> titles;
    const std::regex title(R"((Chapter \d+))");
    for (auto it = std::sregex_iterator(text.out.begin(), text.out.end(), title);
         it != std::sregex_iterator(); ++it)
        titles.push_back((*it)[1]);
    std::vector<Chapter> got;
    const std::regex cue(R"(([0-9.]+),([0-9.]+))");
    for (auto it = std::sregex_iterator(probe.out.begin(), probe.out.end(), cue);
         it != std::sregex_iterator(); ++it) {
        const uint32_t start = Ms((*it)[1]);
        got.push_back({start, start + Ms((*it)[2]), got.size() < titles.size() ? titles[got.size()] : ""});
    }
    EXPECT_EQ(got, expected_) << probe.out << text.out;
}

TEST_F(ThroughTheirTools, MatroskaXmlGoesIntoAFileAndComesBack)
{
    SKIP_WITHOUT("ffmpeg", "mkvmerge", "mkvextract");
    const std::string chapters = Render("Matroska XML chapters", "chapters.xml");
    const std::string out = dir_.file("out.mkv");
    const ProcessResult merge =
        RunProcess({FindProgram("mkvmerge"), "-q", "-o", out, "--chapters", chapters, MakeVideo()});
    ASSERT_EQ(merge.exitCode, 0) << merge.out << merge.err;
    const ProcessResult extract = RunProcess({FindProgram("mkvextract"), out, "chapters", "-"});
    ASSERT_EQ(extract.exitCode, 0) << extract.err;

    std::vector<Chapter> got;
    const auto ns = [](const std::smatch& m, int i) {
        return static_cast<uint32_t>(
            (std::stoull(m[i]) * 3600 + std::stoull(m[i + 1]) * 60 + std::stoull(m[i + 2])) * 1000 +
            std::stoull(m[i + 3]) / 1'000'000);
    };
    const std::regex atom(
        R"(<ChapterTimeStart>(\d+):(\d+):(\d+)\.(\d{9})</ChapterTimeStart>\s*)"
        R"(<ChapterTimeEnd>(\d+):(\d+):(\d+)\.(\d{9})</ChapterTimeEnd>[\s\S]*?<ChapterString>([^<]*)</ChapterString>)");
    for (auto it = std::sregex_iterator(extract.out.begin(), extract.out.end(), atom);
         it != std::sregex_iterator(); ++it)
        got.push_back({ns(*it, 1), ns(*it, 5), (*it)[9]});
    EXPECT_EQ(got, expected_) << extract.out;
}

// Non-ASCII names, an empty line (the template's name), characters XML escapes
// and one name too many, through --names into the tools, which give them back.
TEST_F(ThroughTheirTools, NamesFileComesBackFromEveryToolThatReadsNames)
{
    SKIP_WITHOUT("ffmpeg", "ffprobe", "mkvmerge", "mkvextract");
    const std::vector<std::string> names = {"Prolog: Ankunft", "Chapter 02", "\xC3\x89t\xC3\xA9 & <Nuit>",
                                            "\xD0\xA4\xD0\xB8\xD0\xBD\xD0\xB0\xD0\xBB \xE7\xAC\xAC"};
    ASSERT_EQ(expected_.size(), names.size());
    WriteFile(dir_.file("names.txt"), names[0] + "\n\n" + names[2] + "\n" + names[3] + "\nZu viel\n");
    const ExecutableCopy app;
    const std::string video = MakeVideo(), mkv = dir_.file("out.mkv");
    // The names `pattern` finds in what the tools make of preset `preset`'s file.
    const auto namesThrough = [&](const char* preset, std::vector<std::vector<std::string>> tools,
                                  const std::string& pattern) {
        const ProcessResult run = app.run({"--presets", kShippedPresets, "-p", preset, "--names", "names.txt",
                                           "-o", "chapters", ExamplePath("VTS_01_0.IFO")},
                                          dir_.path().string());
        EXPECT_EQ(run.err,
                  "pelvano: names.txt: 5 names, 4 chapters; the names past the last chapter are ignored\n");
        std::string out;
        std::remove(mkv.c_str());  // a tool that fails leaves none behind to read
        for (std::vector<std::string>& tool : tools) {
            tool[0] = FindProgram(tool[0]);
            out = RunProcess(tool, dir_.path().string()).out;
        }
        std::vector<std::string> found;
        const std::regex re(pattern);
        for (auto it = std::sregex_iterator(out.begin(), out.end(), re); it != std::sregex_iterator(); ++it)
            found.push_back((*it)[1]);
        return found;
    };
    for (const char* preset : {"1", "10"})
        EXPECT_EQ(namesThrough(preset,
                               {{"mkvmerge", "-q", "-o", mkv, "--chapter-charset", "UTF-8", "--chapters",
                                 "chapters", video},
                                {"mkvextract", mkv, "chapters", "--simple", "-"}},
                               R"(NAME=([^\r\n]*))"),
                  names);
    EXPECT_EQ(namesThrough("5",
                           {{"ffmpeg", "-v", "error", "-i", video, "-i", "chapters", "-map", "0",
                             "-map_chapters", "1", "-c", "copy", mkv},
                            {"ffprobe", "-v", "error", "-show_chapters", "-of", "json", mkv}},
                           R"re("title": "([^"]*)")re"),
              names);
}

}  // namespace
}  // namespace pelvano::test
