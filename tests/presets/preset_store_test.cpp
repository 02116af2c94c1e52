#include "presets/preset_store.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/error.h"
#include "output/format_engine.h"
#include "test_util.h"

namespace pelvano {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const std::string kShippedPresets = std::string(PELVANO_RESOURCES_DIR) + "/pelvano.INI";

std::string N(int i)
{
    return std::to_string(i + 1);
}

TEST(PresetsFilePath, ExtensionOfTheFileNameBecomesIni)
{
    EXPECT_EQ(PresetsFilePath("/opt/pelvano/pelvano"), "/opt/pelvano/pelvano.INI");
    EXPECT_EQ(PresetsFilePath("C:/Tools/Pelvano.exe"), "C:/Tools/Pelvano.INI");
    EXPECT_EQ(PresetsFilePath("/opt/pelvano-0.9.6/pelvano"), "/opt/pelvano-0.9.6/pelvano.INI");
    EXPECT_EQ(PresetsFilePath("/usr/bin/pelvano.bin.x86"), "/usr/bin/pelvano.bin.INI");
    EXPECT_EQ(PresetsFilePath("pelvano"), "pelvano.INI");
}

TEST(LoadPresets, MissingOrUnreadableFileGivesTheKeyNamesSilently)
{
    TempDir dir;
    fs::create_directory(dir.file("folder.INI"));
    for (const std::string& path : {dir.file("pelvano.INI"), dir.file("folder.INI")}) {
        const PresetStore store = LoadPresets(path);
        for (int i = 0; i < kPresetCount; ++i) {
            EXPECT_EQ(store.presets[i].name, "Preset" + N(i));
            EXPECT_EQ(store.presets[i].format, "Format" + N(i));
            EXPECT_EQ(store.presets[i].header, "Header" + N(i));
        }
        EXPECT_EQ(store.lastDir, "");
    }
}

TEST(LoadPresets, PartialFileFillsTheRestWithDefaults)
{
    TempDir dir;
    const std::string path = dir.file("pelvano.INI");
    WriteFile(path, "[Presets]\r\nPreset2=DVD\r\nFormat4=\r\nHeader10= \"  x  \" \r\nPreset11=eleven\r\n"
                    "[options]\r\nlastdir=/media/dvd\r\n");
    const PresetStore store = LoadPresets(path);
    EXPECT_EQ(store.presets[0].name, "Preset1");
    EXPECT_EQ(store.presets[1].name, "DVD");
    EXPECT_EQ(store.presets[1].format, "Format2");
    EXPECT_EQ(store.presets[3].format, "");
    EXPECT_EQ(store.presets[9].header, "  x  ");
    EXPECT_EQ(store.lastDir, "/media/dvd");
}

TEST(SavePresets, RoundTripKeepsValuesAsTheReadingRulesAllow)
{
    TempDir dir;
    const std::string path = dir.file("pelvano.INI");
    PresetStore store = LoadPresets(path);
    store.presets[0].format = "%hh:%mm:%ss\\n";
    store.presets[1].format = " %f";  // a leading blank does not survive a restart
    store.presets[2].name = "";       // an empty name stays empty, not Preset3
    SavePresets(path, store, "/tmp");

    const PresetStore again = LoadPresets(path);
    EXPECT_EQ(again.presets[0].format, "%hh:%mm:%ss\\n");
    EXPECT_EQ(again.presets[1].format, "%f");
    EXPECT_EQ(again.presets[2].name, "");
    EXPECT_EQ(again.presets[9].header, "Header10");
    EXPECT_EQ(again.lastDir, "/tmp");
}

// Every key is replaced where it stands or added, in the order Preset1,
// Format1, Header1, Preset2, ..., after the last line of its section; a
// missing section goes at the end; every other line stays.
TEST(SavePresets, KeysInOrderAndOtherLinesUntouched)
{
    TempDir dir;
    const std::string path = dir.file("pelvano.INI");
    WriteFile(
        path,
        "; my presets\r\n[Presets]\r\nPreset1=Old\r\nPreset11=eleventh\r\n\r\n[Window]\r\nWidth = 610\r\n");
    PresetStore store;
    for (int i = 0; i < kPresetCount; ++i)
        store.presets[i] = {"name " + N(i), "format " + N(i), "header " + N(i)};
    SavePresets(path, store, "/home/user/dvd");

    std::string expected = "; my presets\r\n[Presets]\r\nPreset1=name 1\r\nPreset11=eleventh\r\n";
    for (int i = 0; i < kPresetCount; ++i)
        expected += (i ? "Preset" + N(i) + "=name " + N(i) + "\r\n" : "") + "Format" + N(i) + "=format " +
                    N(i) + "\r\nHeader" + N(i) + "=header " + N(i) + "\r\n";
    expected += "\r\n[Window]\r\nWidth = 610\r\n\r\n[Options]\r\nLastDir=/home/user/dvd\r\n";
    EXPECT_EQ(ReadFile(path), expected);
}

TEST(SavePresets, FailureIsReportedWithThePathAndChangesNothing)
{
    TempDir dir;
    const std::string path = dir.file("pelvano.INI");
    WriteFile(path, "[Presets]\r\nPreset1=Old\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    PresetStore store = LoadPresets(path);
    store.presets[0].name = "New";
    try {
        SavePresets(path, store, "/");
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
    }
    EXPECT_EQ(ReadFile(path), "[Presets]\r\nPreset1=Old\r\n");

    // Nor is a file replaced that could not be read.
    const std::string huge = dir.file("huge.INI");
    WriteFile(huge, "[Presets]\r\n");
    fs::resize_file(huge, 64 * 1024 * 1024);  // sparse, beyond what a presets file can be
    EXPECT_THROW(SavePresets(huge, PresetStore{}, "/"), Error);
    EXPECT_EQ(fs::file_size(huge), 64u * 1024 * 1024);
}

// A footer, the exact NTSC option or the name template is written only where
// it says something or is in the file already: a file that never used them
// keeps its bytes.
TEST(SavePresets, FootersAndOptionsOnlyWhereUsedOrPresent)
{
    TempDir dir;
    const std::string path = dir.file("pelvano.INI");
    WriteFile(path, "[Presets]\r\nFooter2=</b>\r\n[Options]\r\nExactNTSC=1\r\nNameTemplate=Part %c\r\n");
    PresetStore store = LoadPresets(path);
    EXPECT_EQ(store.presets[0].footer, "");
    EXPECT_EQ(store.presets[1].footer, "</b>");
    EXPECT_TRUE(store.exactNtsc);
    EXPECT_EQ(store.nameTemplate, "Part %c");

    store.presets[1].footer = "";         // present: kept, now empty
    store.presets[2].footer = "</c>\\n";  // new: added to its section
    store.exactNtsc = false;              // present: kept, now off
    store.nameTemplate = "Chapter %C";    // present: kept, now the default
    SavePresets(path, store, "/");
    const std::string saved = ReadFile(path);
    EXPECT_NE(saved.find("\r\nFooter2=\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\r\nFooter3=</c>\\n\r\n"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("Footer1"), std::string::npos) << saved;
    EXPECT_NE(saved.find("[Options]\r\nExactNTSC=0\r\nNameTemplate=Chapter %C\r\nLastDir=/\r\n"),
              std::string::npos)
        << saved;
    const PresetStore again = LoadPresets(path);
    EXPECT_EQ(again.presets[2].footer, "</c>\\n");
    EXPECT_FALSE(again.exactNtsc);

    const std::string fresh = dir.file("fresh.INI");
    SavePresets(fresh, PresetStore{}, "/");
    EXPECT_EQ(ReadFile(fresh).find("Footer"), std::string::npos);
    EXPECT_EQ(ReadFile(fresh).find("ExactNTSC"), std::string::npos);
    EXPECT_EQ(ReadFile(fresh).find("NameTemplate"), std::string::npos);
    PresetStore on;
    on.exactNtsc = true;
    on.nameTemplate = "Kapitel %c";
    SavePresets(fresh, on, "/");
    EXPECT_TRUE(LoadPresets(fresh).exactNtsc);
    EXPECT_EQ(LoadPresets(fresh).nameTemplate, "Kapitel %c");
}

TEST(ShippedPresets, CrLfAsciiThatSavesUnchanged)
{
    const std::string bytes = ReadFile(kShippedPresets);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        ASSERT_TRUE(c == '\r' || (c == '\n' && i > 0 && bytes[i - 1] == '\r') || (c >= 32 && c < 127))
            << "byte " << i;
    }
    // What they hold is checked by rendering them, below.
    TempDir dir;
    WriteFile(dir.file("pelvano.INI"), bytes);
    SavePresets(dir.file("pelvano.INI"), LoadPresets(kShippedPresets), "");
    EXPECT_EQ(ReadFile(dir.file("pelvano.INI")), bytes);
}

TEST(ShippedPresets, RenderWhatTheirToolsRead)
{
    // Two chapters: 0 ms and 1:02:03.456 at 25 fps (frame 93087, 12 frames
    // into the second).
    TitleModel model;
    model.cellLengthsMs = {3723456, 276544};
    model.cellStartsMs = {0, 3723456, 4000000};
    model.chapterStarts = {1, 2};
    model.chapterCount = 2;
    const PresetStore store = LoadPresets(kShippedPresets);
    const std::string expected[kPresetCount] = {
        "CHAPTER01=00:00:00.000\r\nCHAPTER01NAME=Chapter 01\r\n"
        "CHAPTER02=01:02:03.456\r\nCHAPTER02NAME=Chapter 02\r\n",
        "00:00:00:00\r\n01:02:03:12\r\n",
        "0\r\n93087\r\n",
        "0 I -1\r\n93087 I -1\r\n",
        ";FFMETADATA1\r\n[CHAPTER]\r\nTIMEBASE=1/1000\r\nSTART=0\r\nEND=3723456\r\ntitle=Chapter 01\r\n"
        "[CHAPTER]\r\nTIMEBASE=1/1000\r\nSTART=3723456\r\nEND=4000000\r\ntitle=Chapter 02\r\n",
        "00:00:00.000 Chapter 01\r\n01:02:03.456 Chapter 02\r\n",
        "Chapter,Start,Frame\r\n1,00:00:00.000,0\r\n2,01:02:03.456,93087\r\n",
        "{QTtext}{timeScale:1000}{timeStamps:absolute}\r\n"
        "[00:00:00.000]\r\nChapter 1\r\n[01:02:03.456]\r\nChapter 2\r\n",
        "WEBVTT\r\n\r\n01\r\n00:00:00.000 --> 01:02:03.456\r\nChapter 01\r\n\r\n"
        "02\r\n01:02:03.456 --> 01:06:40.000\r\nChapter 02\r\n\r\n",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!DOCTYPE Chapters SYSTEM "
        "\"matroskachapters.dtd\">\r\n"
        "<Chapters>\r\n<EditionEntry>\r\n"
        "<ChapterAtom>\r\n  <ChapterTimeStart>00:00:00.000</ChapterTimeStart>\r\n"
        "  <ChapterTimeEnd>01:02:03.456</ChapterTimeEnd>\r\n  <ChapterDisplay>\r\n"
        "    <ChapterString>Chapter 01</ChapterString>\r\n    <ChapterLanguage>eng</ChapterLanguage>\r\n"
        "  </ChapterDisplay>\r\n</ChapterAtom>\r\n"
        "<ChapterAtom>\r\n  <ChapterTimeStart>01:02:03.456</ChapterTimeStart>\r\n"
        "  <ChapterTimeEnd>01:06:40.000</ChapterTimeEnd>\r\n  <ChapterDisplay>\r\n"
        "    <ChapterString>Chapter 02</ChapterString>\r\n    <ChapterLanguage>eng</ChapterLanguage>\r\n"
        "  </ChapterDisplay>\r\n</ChapterAtom>\r\n"
        "</EditionEntry>\r\n</Chapters>\r\n",
    };
    for (int i = 0; i < kPresetCount; ++i) {
        const Preset& p = store.presets[i];
        const RenderOutput out = RenderChapters(model, {p.format, p.header, "25000", "0", "0", p.footer});
        EXPECT_EQ(out.text, expected[i]) << "preset " << i + 1 << ": " << p.name;
        EXPECT_NE(p.name, "Preset" + N(i));
    }
}

}  // namespace
}  // namespace pelvano
