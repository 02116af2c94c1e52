#include "chapters/chapter_names.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/error.h"
#include "test_util.h"

namespace pelvano::test {
namespace {

using Names = std::vector<std::string>;

// One row per way a names file can be written or broken: the names it
// gives, or the error ("" for none).
TEST(ChapterNames, OneTableOfNameFiles)
{
    const struct {
        std::string bytes;
        Names names;
        std::string error;
    } rows[] = {
        {"Intro\nDie Flucht\n\nFinale\n", {"Intro", "Die Flucht", "", "Finale"}, ""},
        {"\xEF\xBB\xBF\xC3\x89t\xC3\xA9\r\nNacht\r\n", {"\xC3\x89t\xC3\xA9", "Nacht"}, ""},
        {"a\tb\n\xF0\x9F\x8E\xAC\n\n\r\n", {"a\tb", "\xF0\x9F\x8E\xAC"}, ""},
        {"\xEF\xBB\xBF\xEF\xBB\xBFx", {"\xEF\xBB\xBFx"}, ""},  // a name that begins with U+FEFF
        {"CHAPTER01=00:00:00.000\r\nCHAPTER01NAME=Anfang\r\nCHAPTER03NAME=x=1\r\n",
         {"Anfang", "", "x=1"},
         ""},
        {"\nCHAPTER3NAME=Drei\n\nCHAPTER001NAME=CHAPTER01=\n", {"CHAPTER01=", "", "Drei"}, ""},
        {"ok\nCaf\xE9\n", {}, "line 2 is not UTF-8 text"},
        {std::string("ELF\0", 4), {}, "line 1 holds a control character"},
        {"a\rb\n", {}, "line 1 holds a control character"},
        {"CHAPTER01NAME=a\nIntro\n",
         {},
         "line 2 is not a CHAPTERnn= or CHAPTERnnNAME= line of a chapter file"},
        {"CHAPTER01NAME=a\nCHAPTER1NAME=b\n", {}, "line 2 names chapter 1 a second time"},
        {"CHAPTER00NAME=x\n", {}, "line 1: chapter numbers run from 1 to 9999"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bytes);
        EXPECT_EQ(MessageOf([&] { ParseChapterNames(row.bytes); }),
                  row.error.empty() ? "<no error>" : row.error);
        if (!row.error.empty())
            continue;
        EXPECT_EQ(ParseChapterNames(row.bytes), row.names);
        // "Save..." writes what "Load..." reads back.
        EXPECT_EQ(ParseChapterNames(ChapterNamesText(row.names)), row.names);
    }
}

TEST(ChapterNames, AFileTooLargeIsRefusedUnread)
{
    TempDir dir;
    WriteFile(dir.file("huge.txt"), "");
    std::filesystem::resize_file(dir.file("huge.txt"), 100 * 1024 * 1024);  // sparse
    EXPECT_EQ(MessageOf([&] { ReadChapterNames(dir.file("huge.txt")); }),
              dir.file("huge.txt") + ": larger than 1048576 bytes");
}

}  // namespace
}  // namespace pelvano::test
