#include "chapters/chapter_names.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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
        {"a\tb\n\xF0\x9F\x8E\xAC", {"a\tb", "\xF0\x9F\x8E\xAC"}, ""},
        {"a\n\n\r\n\n", {"a"}, ""},
        {"\xEF\xBB\xBF\xEF\xBB\xBFx", {"\xEF\xBB\xBFx"}, ""},  // a name that begins with U+FEFF
        {"\xEF\xBB\xBF", {}, ""},
        {"CHAPTER01=00:00:00.000\r\nCHAPTER01NAME=Anfang\r\nCHAPTER02=00:20:00.000\r\nCHAPTER02NAME=x=1\r\n",
         {"Anfang", "x=1"},
         ""},
        {"\nCHAPTER3NAME=Drei\n\nCHAPTER001NAME=Eins\n", {"Eins", "", "Drei"}, ""},
        {"ok\n\xC3\x28\n", {}, "line 2 is not UTF-8 text"},
        {"Caf\xE9\n", {}, "line 1 is not UTF-8 text"},
        {"\xC0\xAF", {}, "line 1 is not UTF-8 text"},
        {"\xED\xA0\x80", {}, "line 1 is not UTF-8 text"},
        {std::string("\x7f"
                     "ELF\x02\x01\x00",
                     7),
         {},
         "line 1 holds a control character"},
        {"a\rb\n", {}, "line 1 holds a control character"},
        {"CHAPTER01NAME=a\nIntro\n",
         {},
         "line 2 is not a CHAPTERnn= or CHAPTERnnNAME= line of a chapter file"},
        {"CHAPTER01NAME=a\nCHAPTER1NAME=b\n", {}, "line 2 names chapter 1 a second time"},
        {"CHAPTER0NAME=x\n", {}, "line 1: chapter numbers run from 1 to 9999"},
        {"CHAPTER01=0\nCHAPTER4294967297NAME=x\n", {}, "line 2: chapter numbers run from 1 to 9999"},
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
    // A first name that reads like a chapter line is saved as a chapter file.
    const Names chapterLike = {"CHAPTER01=x", "", "c"};
    EXPECT_EQ(ChapterNamesText(chapterLike), "CHAPTER01NAME=CHAPTER01=x\nCHAPTER03NAME=c\n");
    EXPECT_EQ(ParseChapterNames(ChapterNamesText(chapterLike)), chapterLike);
}

TEST(ChapterNames, FilesThatCannotBeReadNameThemselves)
{
    TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string huge = dir.file("huge.txt");
    WriteFile(huge, "");
    std::filesystem::resize_file(huge, 100 * 1024 * 1024);  // sparse
    const std::string latin1 = dir.file("latin1.txt");
    WriteFile(latin1, "Intro\nCaf\xE9\n");
    EXPECT_EQ(MessageOf([&] { ReadChapterNames(dir.file("none.txt")); }),
              dir.file("none.txt") + ": No such file or directory");
    EXPECT_EQ(MessageOf([&] { ReadChapterNames(fifo); }), fifo + ": not a regular file");
    EXPECT_EQ(MessageOf([&] { ReadChapterNames(dir.path().string()); }),
              dir.path().string() + ": not a regular file");
    EXPECT_EQ(MessageOf([&] { ReadChapterNames(huge); }), huge + ": larger than 1048576 bytes");
    EXPECT_EQ(MessageOf([&] { ReadChapterNames(latin1); }), latin1 + ": line 2 is not UTF-8 text");
}

}  // namespace
}  // namespace pelvano::test
