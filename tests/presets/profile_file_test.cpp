#include "presets/profile_file.h"

#include <csignal>
#include <filesystem>
#include <random>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/error.h"
#include "test_util.h"

namespace pelvano {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::string Read(const std::string& contents, const std::string& section, const std::string& key)
{
    return ProfileFile::Parse(contents).read(section, key, "<default>");
}

std::string AfterWrite(const std::string& contents, const std::string& section, const std::string& key,
                       const std::string& value)
{
    ProfileFile doc = ProfileFile::Parse(contents);
    doc.write(section, key, value);
    return doc.contents();
}

mode_t ModeOf(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

size_t EntriesIn(const fs::path& folder)
{
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// Writes beyond `bytes` fail with EFBIG for this process, root included.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        old_signal_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, old_signal_);
    }

private:
    rlimit old_ {};
    void (*old_signal_)(int) = nullptr;
};

// --- reading -------------------------------------------------------------

TEST(ProfileFileRead, NamesMatchWithoutRegardToCaseAndBlanksAreTrimmed)
{
    const std::string ini = "  [ presets ]  \r\n\t PRESET2 \t=  DVD menu  \t\r\n";
    EXPECT_EQ(Read(ini, "Presets", "Preset2"), "DVD menu");
    EXPECT_EQ(Read(ini, "PRESETS", "preset2"), "DVD menu");
    EXPECT_EQ(Read(ini, " Presets ", " Preset2 "), "DVD menu");
    EXPECT_EQ(Read(ini, "Presets", "Preset1"), "<default>");
    EXPECT_EQ(Read(ini, "Options", "Preset2"), "<default>");
}

TEST(ProfileFileRead, OneMatchingPairOfQuotesIsStripped)
{
    const std::string ini =
        "[S]\r\n"
        "a=\"  keep blanks  \"\r\n"
        "b='single'\r\n"
        "c=\"mixed'\r\n"
        "d=\"\r\n"
        "e=\"\"\r\n"
        "f=\"in\"side\"\r\n"
        "g=''twice''\r\n"
        "h=x\"y\"\r\n";
    EXPECT_EQ(Read(ini, "S", "a"), "  keep blanks  ");
    EXPECT_EQ(Read(ini, "S", "b"), "single");
    EXPECT_EQ(Read(ini, "S", "c"), "\"mixed'");
    EXPECT_EQ(Read(ini, "S", "d"), "\"");
    EXPECT_EQ(Read(ini, "S", "e"), "");
    EXPECT_EQ(Read(ini, "S", "f"), "in\"side");
    EXPECT_EQ(Read(ini, "S", "g"), "'twice'");
    EXPECT_EQ(Read(ini, "S", "h"), "x\"y\"");
}

TEST(ProfileFileRead, EmptyValueIsEmptyNotTheFallback)
{
    const std::string ini = "[Presets]\r\nFormat4=\r\nHeader4=   \r\n";
    EXPECT_EQ(Read(ini, "Presets", "Format4"), "");
    EXPECT_EQ(Read(ini, "Presets", "Header4"), "");
}

TEST(ProfileFileRead, ValueKeepsEverythingAfterTheFirstEquals)
{
    EXPECT_EQ(Read("[P]\r\nFormat1=CHAPTER%C=%hh\\n=\r\n", "P", "Format1"), "CHAPTER%C=%hh\\n=");
}

TEST(ProfileFileRead, ValuesAreCutTo2047Characters)
{
    const std::string longValue(3000, 'v');
    const std::string ini = "[S]\r\nlong=" + longValue + "\r\nquoted=\"" + std::string(2047, 'q') + "\"\r\n";
    EXPECT_EQ(Read(ini, "S", "long"), std::string(2047, 'v'));
    // The quotes go first, so all 2047 characters inside them survive.
    EXPECT_EQ(Read(ini, "S", "quoted"), std::string(2047, 'q'));
}

TEST(ProfileFileRead, LinesWithoutEqualsAndKeysOutsideTheSectionAreIgnored)
{
    const std::string ini =
        "Preset1=before any section\r\n"
        "[Other]\r\n"
        "Preset1=other section\r\n"
        "[Presets]\r\n"
        "Preset1\r\n"
        "; Preset1=comment\r\n"
        "Preset1=real\r\n"
        "Preset2\r\n";
    EXPECT_EQ(Read(ini, "Presets", "Preset1"), "real");
    EXPECT_EQ(Read(ini, "Presets", "Preset2"), "<default>");
}

TEST(ProfileFileRead, FirstKeyOfFirstSectionWins)
{
    const std::string ini =
        "[Presets]\r\nPreset1=first\r\npreset1=second\r\n"
        "[PRESETS]\r\nPreset1=third\r\nPreset3=only in the second section\r\n";
    EXPECT_EQ(Read(ini, "Presets", "Preset1"), "first");
    EXPECT_EQ(Read(ini, "Presets", "Preset3"), "<default>");
}

TEST(ProfileFileRead, LineEndsOfAnyKind)
{
    const std::string ini = "[A]\nk=lf\n[B]\r\nk=crlf\r\n[C]\nk=no final line end";
    EXPECT_EQ(Read(ini, "A", "k"), "lf");
    EXPECT_EQ(Read(ini, "B", "k"), "crlf");
    EXPECT_EQ(Read(ini, "C", "k"), "no final line end");
    EXPECT_EQ(Read("", "A", "k"), "<default>");
}

TEST(ProfileFileRead, SectionHeaderMayCarryTextAfterTheBracket)
{
    EXPECT_EQ(Read("[Presets] ; ten of them\r\nPreset1=x\r\n", "Presets", "Preset1"), "x");
    // Without its closing bracket the line opens no section.
    EXPECT_EQ(Read("[Presets\r\nPreset1=x\r\n", "Presets", "Preset1"), "<default>");
}

TEST(ProfileFileRead, NulBytesEndTheValue)
{
    static const char raw[] = "[A]\r\nk=ab\0cd\r\nm=\0\r\n[B\0]\r\nn=1\r\n";
    const std::string ini(raw, sizeof raw - 1);
    EXPECT_EQ(Read(ini, "A", "k"), "ab");
    EXPECT_EQ(Read(ini, "A", "m"), "");
    EXPECT_EQ(Read(ini, "B", "n"), "<default>");
}

// --- writing -------------------------------------------------------------

TEST(ProfileFileWrite, ReplacesTheValueWhereTheKeyStandsAndKeepsEveryOtherLine)
{
    const std::string before =
        "; comment line\n"
        "\n"
        "[Other]\n"
        "Preset1=not this one\n"
        "  [presets]  \n"
        "   preset1  =  old name  \n"
        "Preset11=eleventh\n"
        "no equals here\n"
        "\n"
        "[Options]\n"
        "LastDir=/home\n";
    const std::string after =
        "; comment line\r\n"
        "\r\n"
        "[Other]\r\n"
        "Preset1=not this one\r\n"
        "  [presets]  \r\n"
        "   preset1  =new name\r\n"
        "Preset11=eleventh\r\n"
        "no equals here\r\n"
        "\r\n"
        "[Options]\r\n"
        "LastDir=/home\r\n";
    EXPECT_EQ(AfterWrite(before, "Presets", "Preset1", "new name"), after);
}

TEST(ProfileFileWrite, MissingKeyGoesAfterTheLastLineOfItsSection)
{
    const std::string before = "[Presets]\r\nPreset1=a\r\n; note\r\n\r\n\r\n[Options]\r\nLastDir=\r\n";
    EXPECT_EQ(AfterWrite(before, "presets", "Format1", "b"),
              "[Presets]\r\nPreset1=a\r\n; note\r\nFormat1=b\r\n\r\n\r\n[Options]\r\nLastDir=\r\n");
    EXPECT_EQ(AfterWrite("[Presets]", "Presets", "Preset1", "x"), "[Presets]\r\nPreset1=x\r\n");
    EXPECT_EQ(AfterWrite("[Presets]\r\n\r\n[Options]\r\n", "Presets", "Preset1", "x"),
              "[Presets]\r\nPreset1=x\r\n\r\n[Options]\r\n");
}

TEST(ProfileFileWrite, MissingSectionGoesAtTheEnd)
{
    EXPECT_EQ(AfterWrite("", "Presets", "Preset1", "x"), "[Presets]\r\nPreset1=x\r\n");
    EXPECT_EQ(AfterWrite("[Presets]\r\nPreset1=x", "Options", "LastDir", "/tmp"),
              "[Presets]\r\nPreset1=x\r\n\r\n[Options]\r\nLastDir=/tmp\r\n");
    EXPECT_EQ(AfterWrite("; only a comment\r\n\r\n", "Options", "LastDir", ""),
              "; only a comment\r\n\r\n[Options]\r\nLastDir=\r\n");
}

TEST(ProfileFileWrite, ValueIsStoredAsHeldAndReadBackByTheReadingRules)
{
    ProfileFile doc;
    doc.write("Presets", "Format1", "%hh:%mm:%ss\\n");
    doc.write("Presets", "Format2", " leading blank");
    doc.write("Presets", "Preset3", "");
    doc.write("Presets", "Preset4", "\"quoted\"");
    EXPECT_EQ(doc.contents(),
              "[Presets]\r\nFormat1=%hh:%mm:%ss\\n\r\nFormat2= leading blank\r\nPreset3=\r\n"
              "Preset4=\"quoted\"\r\n");
    const ProfileFile again = ProfileFile::Parse(doc.contents());
    EXPECT_EQ(again.read("Presets", "Format1", ""), "%hh:%mm:%ss\\n");
    EXPECT_EQ(again.read("Presets", "Format2", ""), "leading blank");
    EXPECT_EQ(again.read("Presets", "Preset3", "Preset3"), "");
    EXPECT_EQ(again.read("Presets", "Preset4", ""), "quoted");
}

TEST(ProfileFileWrite, ValueCannotInjectLines)
{
    ProfileFile doc;
    static const char raw[] = "a\r\n[Options]\r\nLastDir=/etc\nb\rc\0d";
    doc.write("Presets", "Preset1", std::string(raw, sizeof raw - 1));
    EXPECT_EQ(doc.contents(), "[Presets]\r\nPreset1=a\\n[Options]\\nLastDir=/etc\\nb\\ncd\r\n");
    EXPECT_EQ(doc.read("Options", "LastDir", "<none>"), "<none>");
}

TEST(ProfileFileWrite, OnRandomDocumentsOneWriteChangesOneValueOnly)
{
    // Documents pieced together from the characters that matter to the
    // layout; every (section, key) pair is read before and after one write.
    static const char* const pieces[] = {"[A]", "[b]", "[ a ]", "[C", "]", "a", "B", "k", " ", "\t", "=",
                                         "\r\n", "\n", "\r", ";", "\"", "'", "x"};
    static const char* const names[] = {"a", "b", "c", "k"};
    std::mt19937 rng(20240611);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int length = static_cast<int>(rng() % 40);
        for (int i = 0; i < length; ++i)
            text += pieces[rng() % std::size(pieces)];
        if (rng() % 4 == 0)
            text.insert(rng() % (text.size() + 1), 1, '\0');
        const ProfileFile before = ProfileFile::Parse(text);
        ProfileFile after = before;
        const std::string section = names[rng() % std::size(names)];
        const std::string key = names[rng() % std::size(names)];
        const std::string value = "v" + std::to_string(round);
        after.write(section, key, value);
        const ProfileFile reparsed = ProfileFile::Parse(after.contents());
        for (const char* s : names)
            for (const char* k : names) {
                const bool written = s == section && k == key;
                const std::string expected = written ? value : before.read(s, k, "<default>");
                ASSERT_EQ(after.read(s, k, "<default>"), expected) << "round " << round << " [" << s << "] " << k;
                ASSERT_EQ(reparsed.read(s, k, "<default>"), expected) << "round " << round;
            }
    }
}

// --- loading and saving --------------------------------------------------

TEST(ProfileFileLoad, MissingFileIsAnEmptyDocument)
{
    TempDir dir;
    EXPECT_EQ(ProfileFile::Load(dir.file("absent.INI")).contents(), "");
    EXPECT_EQ(ProfileFile::Load(dir.file("absent/deeper.INI")).contents(), "");
}

TEST(ProfileFileLoad, WhatIsNotARegularFileOrIsHugeIsRefusedNotRead)
{
    TempDir dir;
    const std::string fifo = dir.file("fifo.INI");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THROW(ProfileFile::Load(fifo), Error);  // and does not wait for a writer
    EXPECT_THROW(ProfileFile::Load(dir.path().string()), Error);

    const std::string huge = dir.file("huge.INI");
    WriteFile(huge, "");
    fs::resize_file(huge, ProfileFile::kMaxFileSize + 1);  // sparse: costs no disk
    try {
        ProfileFile::Load(huge);
        ADD_FAILURE() << "a huge file was read";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to read " + huge);
    }
}

TEST(ProfileFileSave, WritesCrLfAndKeepsThePermissionBitsOfTheOldFile)
{
    TempDir dir;
    const std::string path = dir.file("pelvano.INI");
    WriteFile(path, "[Presets]\nPreset1=old\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ProfileFile doc = ProfileFile::Load(path);
    doc.write("Presets", "Preset1", "new");
    doc.save(path);
    EXPECT_EQ(ReadFile(path), "[Presets]\r\nPreset1=new\r\n");
    EXPECT_EQ(ModeOf(path), 0640u);
    EXPECT_EQ(EntriesIn(dir.path()), 1u);  // no temporary file left behind
}

TEST(ProfileFileSave, NewFileTakesTheUmask)
{
    TempDir dir;
    const std::string path = dir.file("new.INI");
    const mode_t oldMask = ::umask(027);
    ProfileFile doc;
    doc.write("Options", "LastDir", "/");
    doc.save(path);
    ::umask(oldMask);
    EXPECT_EQ(ReadFile(path), "[Options]\r\nLastDir=/\r\n");
    EXPECT_EQ(ModeOf(path), 0640u);
}

TEST(ProfileFileSave, ReadOnlyFileIsReportedAndLeftAlone)
{
    // No write bit at all: refused for root as well, like a read-only attribute.
    TempDir dir;
    const std::string path = dir.file("pelvano.INI");
    WriteFile(path, "[Presets]\r\nPreset1=keep me\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    ProfileFile doc = ProfileFile::Load(path);
    doc.write("Presets", "Preset1", "changed");
    try {
        doc.save(path);
        ADD_FAILURE() << "a read-only file was replaced";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
    }
    EXPECT_EQ(ReadFile(path), "[Presets]\r\nPreset1=keep me\r\n");
    EXPECT_EQ(ModeOf(path), 0444u);
    EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

TEST(ProfileFileSave, FolderThatCannotHoldTheFileIsReported)
{
    TempDir dir;
    WriteFile(dir.file("plain"), "");
    const std::string path = dir.file("plain/pelvano.INI");  // a file where a folder should be
    EXPECT_THROW(ProfileFile().save(path), Error);
    EXPECT_THROW(ProfileFile().save(dir.path().string()), Error);  // a folder where the file should be
    EXPECT_TRUE(fs::is_directory(dir.path()));
}

TEST(ProfileFileSave, ReadOnlyFolderIsReportedAndTheOldFileKept)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    TempDir dir;
    const std::string path = dir.file("pelvano.INI");
    WriteFile(path, "old\r\n");
    ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
    EXPECT_THROW(ProfileFile::Parse("new").save(path), Error);
    ::chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(ReadFile(path), "old\r\n");
}

TEST(ProfileFileSave, FailurePartWayKeepsTheOldFileWhole)
{
    TempDir dir;
    const std::string path = dir.file("pelvano.INI");
    const std::string old = "[Presets]\r\nPreset1=old\r\n";
    WriteFile(path, old);
    ProfileFile doc = ProfileFile::Load(path);
    doc.write("Presets", "Format1", std::string(2000, 'x'));
    {
        FileSizeLimit limit(1024);  // the new file can't be written in full
        try {
            doc.save(path);
            ADD_FAILURE() << "a failed write was reported as success";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
        }
    }
    EXPECT_EQ(ReadFile(path), old);
    EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

TEST(ProfileFileSave, SymbolicLinkIsFollowedNotReplaced)
{
    TempDir dir;
    const std::string real = dir.file("real.INI");
    const std::string link = dir.file("link.INI");
    WriteFile(real, "[A]\r\nk=1\r\n");
    fs::create_symlink(real, link);
    ProfileFile doc = ProfileFile::Load(link);
    doc.write("A", "k", "2");
    doc.save(link);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(real), "[A]\r\nk=2\r\n");
}

}  // namespace
}  // namespace pelvano
