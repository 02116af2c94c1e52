#include "io/text_file.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

#include "base/error.h"
#include "test_util.h"

namespace pelvano {
namespace {

using test::MessageOf;
using test::ReadFile;
using test::TempDir;

TEST(ToCrLf, LoneLineFeedsOnly)
{
    EXPECT_EQ(ToCrLf("a\nb\r\nc\n"), "a\r\nb\r\nc\r\n");
    EXPECT_EQ(ToCrLf("\n\n"), "\r\n\r\n");
    EXPECT_EQ(ToCrLf("a\rb\r\r\n"), "a\rb\r\r\n");
}

TEST(WriteTextFile, CreatesOrTruncatesAndWritesTheBytesAsGiven)
{
    TempDir dir;
    const std::string path = dir.file("movie.chp");
    const std::string text = "CHAPTER01=00:00:00.000\r\n\xE9t\xE9\r\n";
    WriteTextFile(path, text);
    EXPECT_EQ(ReadFile(path), text);
    WriteTextFile(path, "short\r\n");  // the old, longer content is gone completely
    EXPECT_EQ(ReadFile(path), "short\r\n");

    // The same bytes again: the file is touched, as a make rule expects.
    namespace fs = std::filesystem;
    const auto past = fs::file_time_type::clock::now() - std::chrono::hours(24);
    fs::last_write_time(path, past);
    WriteTextFile(path, "short\r\n");
    EXPECT_EQ(ReadFile(path), "short\r\n");
    EXPECT_GT(fs::last_write_time(path), past + std::chrono::hours(1));

    // A pipe, as batch output to standard output is.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    WriteTextFile("/dev/fd/" + std::to_string(fds[1]), "report\r\n");
    ::close(fds[1]);
    char buffer[32] = {};
    EXPECT_EQ(::read(fds[0], buffer, sizeof buffer), 8);
    ::close(fds[0]);
    EXPECT_EQ(std::string(buffer), "report\r\n");
}

TEST(WriteTextFile, FileThatCannotBeCreatedIsReportedWithItsPath)
{
    TempDir dir;
    const std::string missingFolder = dir.file("no/such/folder/out.txt");
    EXPECT_EQ(MessageOf([&] { WriteTextFile(missingFolder, "x"); }), "Cannot create file " + missingFolder);
    const std::string folder = dir.path().string();
    EXPECT_EQ(MessageOf([&] { WriteTextFile(folder, "x"); }), "Cannot create file " + folder);
}

TEST(WriteTextFile, FullDeviceIsAnErrorNeverSuccess)
{
    if (::access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    EXPECT_EQ(MessageOf([] { WriteTextFile("/dev/full", "chapters\r\n"); }), "Stream write error");
    EXPECT_EQ(MessageOf([] { WriteTextFile("/dev/full", "report\r\n", kFailedToSaveStream); }),
              "Failed to Save Stream");
}

}  // namespace
}  // namespace pelvano
