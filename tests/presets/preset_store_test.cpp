#include "presets/preset_store.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/error.h"
#include "test_util.h"

namespace pelvano {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const std::string kShippedPresets = std::string(PELVANO_RESOURCES_DIR) + "/pelvano.INI";

std::string N(int i) { return std::to_string(i + 1); }

size_t CountLines(const std::string& text)
{
    size_t lines = 0;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2))
        ++lines;
    return lines;
}

TEST(PresetsFilePath, ExtensionOfTheFileNameBecomesIni)
{
    EXPECT_EQ(PresetsFilePath("/opt/pelvano/pelvano"), "/opt/pelvano/pelvano.INI");
    EXPECT_EQ(PresetsFilePath("C:/Tools/Pelvano.exe"), "C:/Tools/Pelvano.INI");
    EXPECT_EQ(PresetsFilePath("/opt/pelvano-0.9.6/pelvano"), "/opt/pelvano-0.9.6/pelvano.INI");
    EXPECT_EQ(PresetsFilePath("/usr/bin/pelvano.bin.x86"), "/usr/bin/pelvano.bin.INI");
    EXPECT_EQ(PresetsFilePath("/usr/bin/pelvano."), "/usr/bin/pelvano.INI");
    EXPECT_EQ(PresetsFilePath("pelvano"), "pelvano.INI");
}

TEST(LoadPresets, WithoutAFileEveryValueIsItsKeyName)
{
    TempDir dir;
    const PresetStore store = LoadPresets(dir.file("pelvano.INI"));
    for (int i = 0; i < kPresetCount; ++i) {
        EXPECT_EQ(store.presets[i].name, "Preset" + N(i));
        EXPECT_EQ(store.presets[i].format, "Format" + N(i));
        EXPECT_EQ(store.presets[i].header, "Header" + N(i));
    }
    EXPECT_EQ(store.lastDir, "");
}

TEST(LoadPresets, PartialFileFillsTheRestWithDefaults)
{
    TempDir dir;
    const std::string path = dir.file("pelvano.INI");
    WriteFile(path,
              "[Presets]\r\nPreset2=DVD\r\nFormat4=\r\nHeader10= \"  x  \" \r\nPreset11=eleven\r\n"
              "[options]\r\nlastdir=/media/dvd\r\n");
    const PresetStore store = LoadPresets(path);
    EXPECT_EQ(store.presets[0].name, "Preset1");
    EXPECT_EQ(store.presets[1].name, "DVD");
    EXPECT_EQ(store.presets[1].format, "Format2");
    EXPECT_EQ(store.presets[2].name, "Preset3");
    EXPECT_EQ(store.presets[3].format, "");
    EXPECT_EQ(store.presets[3].header, "Header4");
    EXPECT_EQ(store.presets[9].header, "  x  ");
    EXPECT_EQ(store.lastDir, "/media/dvd");
}

TEST(LoadPresets, UnreadableFileGivesDefaultsSilently)
{
    TempDir dir;
    const std::string path = dir.file("pelvano.INI");
    fs::create_directory(path);
    const PresetStore store = LoadPresets(path);
    EXPECT_EQ(store.presets[4].name, "Preset5");
    EXPECT_EQ(store.lastDir, "");
}

TEST(SavePresets, FileWrittenFromScratchHoldsThirtyKeysThenLastDir)
{
    TempDir dir;
    const std::string path = dir.file("pelvano.INI");
    PresetStore store;
    for (int i = 0; i < kPresetCount; ++i)
        store.presets[i] = {"name " + N(i), "format " + N(i), "header " + N(i)};
    SavePresets(path, store, "/home/user/dvd");

    std::string expected = "[Presets]\r\n";
    for (int i = 0; i < kPresetCount; ++i)
        expected += "Preset" + N(i) + "=name " + N(i) + "\r\nFormat" + N(i) + "=format " + N(i) +
                    "\r\nHeader" + N(i) + "=header " + N(i) + "\r\n";
    expected += "\r\n[Options]\r\nLastDir=/home/user/dvd\r\n";
    EXPECT_EQ(ReadFile(path), expected);
}

TEST(SavePresets, RoundTripKeepsValuesAsTheReadingRulesAllow)
{
    TempDir dir;
    const std::string path = dir.file("pelvano.INI");
    PresetStore store = LoadPresets(path);
    store.presets[0].format = "%hh:%mm:%ss\\n";
    store.presets[1].format = " %f";  // a leading blank does not survive a restart
    store.presets[2].name = "";       // an empty name stays empty, not Preset3
    store.presets[3].name = store.presets[4].name;
    SavePresets(path, store, "/tmp");

    const PresetStore again = LoadPresets(path);
    EXPECT_EQ(again.presets[0].format, "%hh:%mm:%ss\\n");
    EXPECT_EQ(again.presets[1].format, "%f");
    EXPECT_EQ(again.presets[2].name, "");
    EXPECT_EQ(again.presets[3].name, "Preset5");
    EXPECT_EQ(again.presets[9].header, "Header10");
    EXPECT_EQ(again.lastDir, "/tmp");
    EXPECT_NE(ReadFile(path).find("\r\nPreset3=\r\n"), std::string::npos);
}

TEST(SavePresets, OtherLinesOfTheFileSurviveUntouched)
{
    TempDir dir;
    const std::string path = dir.file("pelvano.INI");
    WriteFile(path,
              "; my presets\r\n"
              "[Presets]\r\n"
              "Preset1=Old\r\n"
              "Preset11=eleventh\r\n"
              "\r\n"
              "[Window]\r\n"
              "Width = 610\r\n");
    PresetStore store = LoadPresets(path);
    store.presets[0].name = "New";
    SavePresets(path, store, "/srv");

    const std::string text = ReadFile(path);
    EXPECT_EQ(text.rfind("; my presets\r\n[Presets]\r\nPreset1=New\r\nPreset11=eleventh\r\nFormat1=Format1\r\n", 0), 0u)
        << text;
    EXPECT_NE(text.find("Header10=Header10\r\n\r\n[Window]\r\nWidth = 610\r\n\r\n[Options]\r\nLastDir=/srv\r\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(CountLines(text), 2u + 30 + 1 + 3 + 3);
}

TEST(SavePresets, FailureIsReportedWithThePathAndChangesNothing)
{
    TempDir dir;
    const std::string path = dir.file("pelvano.INI");
    const std::string old = "[Presets]\r\nPreset1=Old\r\n";
    WriteFile(path, old);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    PresetStore store = LoadPresets(path);
    store.presets[0].name = "New";
    try {
        SavePresets(path, store, "/");
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
    }
    EXPECT_EQ(ReadFile(path), old);
}

TEST(SavePresets, NeverReplacesAFileItCouldNotRead)
{
    TempDir dir;
    const std::string path = dir.file("pelvano.INI");
    WriteFile(path, "[Presets]\r\n");
    fs::resize_file(path, 64 * 1024 * 1024);  // sparse, beyond what a presets file can be
    EXPECT_THROW(SavePresets(path, PresetStore{}, "/"), Error);
    EXPECT_EQ(fs::file_size(path), 64u * 1024 * 1024);
}

// --- the presets file shipped with the program ----------------------------

TEST(ShippedPresets, TenRealPresetsInCrLfAscii)
{
    const std::string bytes = ReadFile(kShippedPresets);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        ASSERT_TRUE(c == '\r' || c == '\n' || (c >= 32 && c < 127)) << "byte " << i;
        if (c == '\n') {
            ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << "lone LF at byte " << i;
        }
    }
    const PresetStore store = LoadPresets(kShippedPresets);
    for (int i = 0; i < kPresetCount; ++i) {
        EXPECT_NE(store.presets[i].name, "Preset" + N(i));
        EXPECT_FALSE(store.presets[i].name.empty());
        EXPECT_NE(store.presets[i].format, "Format" + N(i));
        EXPECT_NE(store.presets[i].header, "Header" + N(i));
    }
    EXPECT_EQ(store.lastDir, "");
}

TEST(ShippedPresets, SavingThemUnchangedGivesTheSameBytes)
{
    TempDir dir;
    const std::string path = dir.file("pelvano.INI");
    const std::string original = ReadFile(kShippedPresets);
    WriteFile(path, original);
    SavePresets(path, LoadPresets(path), "");
    EXPECT_EQ(ReadFile(path), original);
}

}  // namespace
}  // namespace pelvano
