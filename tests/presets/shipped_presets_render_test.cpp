#include <gtest/gtest.h>

#include "output/format_engine.h"
#include "presets/preset_store.h"

namespace pelvano {
namespace {

TEST(ShippedPresets, RenderWhatTheirToolsRead)
{
    // Two chapters: 0 ms and 1:02:03.456 at 25 fps (frame 93087, 12 frames
    // into the second).
    TitleModel model;
    model.cellLengthsMs = {3723456, 276544};
    model.cellStartsMs = {0, 3723456, 4000000};
    model.chapterStarts = {1, 2};
    model.chapterCount = 2;
    const PresetStore store = LoadPresets(std::string(PELVANO_RESOURCES_DIR) + "/pelvano.INI");
    const std::string expected[kPresetCount] = {
        "CHAPTER01=00:00:00.000\r\nCHAPTER01NAME=Chapter 01\r\n"
        "CHAPTER02=01:02:03.456\r\nCHAPTER02NAME=Chapter 02\r\n",
        "00:00:00:00\r\n01:02:03:12\r\n",
        "0\r\n93087\r\n",
        "0 I -1\r\n93087 I -1\r\n",
        "00:00:00.000\r\n01:02:03.456\r\n",
        "00:00:00.000 Chapter 01\r\n01:02:03.456 Chapter 02\r\n",
        "Chapter,Start,Frame\r\n1,00:00:00.000,0\r\n2,01:02:03.456,93087\r\n",
        "{QTtext}{timeScale:1000}{timeStamps:absolute}\r\n"
        "[00:00:00.000]\r\nChapter 1\r\n[01:02:03.456]\r\nChapter 2\r\n",
        "Chapters\r\n\r\nChapter 01   00:00:00.00\r\nChapter 02   01:02:03.45\r\n",
        "[Chapters]\r\nChapter01=00:00:00.000\r\nChapter02=01:02:03.456\r\n",
    };
    for (int i = 0; i < kPresetCount; ++i) {
        const Preset& p = store.presets[i];
        const RenderOutput out = RenderChapters(model, {p.format, p.header, "25000", "0", "0"});
        EXPECT_EQ(out.text, expected[i]) << "preset " << i + 1 << ": " << p.name;
    }
}

}  // namespace
}  // namespace pelvano
