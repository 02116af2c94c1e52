#include "presets/profile_file.h"

#include <csignal>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/error.h"
#include "test_util.h"

namespace pelvano {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using test::MessageOf;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

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

TEST(ProfileFileRead, TheReadingRules)
{
    struct Case {
        std::string ini, section, key, expected;
    } const cases[] = {
        // Names without regard to case, blanks trimmed around names and values.
        {"  [ presets ]  \r\n\t PRESET2 \t=  DVD menu  \t\r\n", "Presets", "Preset2", "DVD menu"},
        {"[Presets]\r\nPreset2=x\r\n", " PRESETS ", " preset2 ", "x"},
        {"[Presets]\r\nPreset2=x\r\n", "Options", "Preset2", "<default>"},
        // One matching pair of quotes goes, blanks inside stay.
        {"[S]\r\na=\"  keep blanks  \"\r\n", "S", "a", "  keep blanks  "},
        {"[S]\r\na='single'\r\n", "S", "a", "single"},
        {"[S]\r\na=\"mixed'\r\n", "S", "a", "\"mixed'"},
        {"[S]\r\na=\"\r\n", "S", "a", "\""},
        {"[S]\r\na=''twice''\r\n", "S", "a", "'twice'"},
        // Present but empty is empty, not the default.
        {"[Presets]\r\nFormat4=\r\n", "Presets", "Format4", ""},
        {"[P]\r\nFormat1=CHAPTER%C=%hh\\n=\r\n", "P", "Format1", "CHAPTER%C=%hh\\n="},
        {"[S]\r\nlong=" + std::string(3000, 'v') + "\r\n", "S", "long", std::string(2047, 'v')},
        {"[S]\r\nq=\"" + std::string(2047, 'q') + "\"\r\n", "S", "q", std::string(2047, 'q')},
        // Lines without "=", comments, keys before or outside the section.
        {"Preset1=none\r\n[Other]\r\nPreset1=other\r\n[Presets]\r\nPreset1\r\n; "
         "Preset1=c\r\nPreset1=real\r\n",
         "Presets", "Preset1", "real"},
        // The first key of the first section of that name.
        {"[Presets]\r\nPreset1=first\r\npreset1=second\r\n[PRESETS]\r\nPreset1=third\r\n", "Presets",
         "Preset1", "first"},
        {"[Presets]\r\n[PRESETS]\r\nPreset3=second section\r\n", "Presets", "Preset3", "<default>"},
        {"[A]\nk=lf\n[B]\r\nk=crlf\r\n[C]\nk=no final line end", "C", "k", "no final line end"},
        {"[Presets] ; ten of them\r\nPreset1=x\r\n", "Presets", "Preset1", "x"},
        {"[Presets\r\nPreset1=x\r\n", "Presets", "Preset1", "<default>"},
        // A NUL byte ends the value.
        {"[A]\r\nk=ab\0cd\r\n"s, "A", "k", "ab"},
        {"[B\0]\r\nn=1\r\n"s, "B", "n", "<default>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini);
        EXPECT_EQ(ProfileFile::Parse(c.ini).read(c.section, c.key, "<default>"), c.expected);
    }
}

TEST(ProfileFileWrite, KeyReplacedWhereItStandsOrAddedAtTheEndOfItsSection)
{
    EXPECT_EQ(AfterWrite("[Other]\nk=1\n  [presets]  \n   preset1  =  old  \nPreset11=x\n", "Presets",
                         "Preset1", "new"),
              "[Other]\r\nk=1\r\n  [presets]  \r\n   preset1  =new\r\nPreset11=x\r\n");
    EXPECT_EQ(AfterWrite("[Presets]\r\nPreset1=a\r\n; note\r\n\r\n\r\n[Options]\r\nLastDir=\r\n", "presets",
                         "Format1", "b"),
              "[Presets]\r\nPreset1=a\r\n; note\r\nFormat1=b\r\n\r\n\r\n[Options]\r\nLastDir=\r\n");
    EXPECT_EQ(AfterWrite("[Presets]", "Presets", "Preset1", "x"), "[Presets]\r\nPreset1=x\r\n");
    EXPECT_EQ(AfterWrite("", "Presets", "Preset1", "x"), "[Presets]\r\nPreset1=x\r\n");
    EXPECT_EQ(AfterWrite("[Presets]\r\nPreset1=x", "Options", "LastDir", "/tmp"),
              "[Presets]\r\nPreset1=x\r\n\r\n[Options]\r\nLastDir=/tmp\r\n");
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
    static const char* const pieces[] = {"[A]", "[b]", "[ a ]", "[C", "]",  "a", "B",  "k", " ",
                                         "\t",  "=",   "\r\n",  "\n", "\r", ";", "\"", "'", "x"};
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
                ASSERT_EQ(after.read(s, k, "<default>"), expected)
                    << "round " << round << " [" << s << "] " << k;
                ASSERT_EQ(reparsed.read(s, k, "<default>"), expected) << "round " << round;
            }
    }
}

TEST(ProfileFileLoad, MissingIsEmptyWhatIsNoRegularFileIsRefused)
{
    TempDir dir;
    EXPECT_EQ(ProfileFile::Load(dir.file("absent/deeper.INI")).contents(), "");

    const std::string fifo = dir.file("fifo.INI");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THROW(ProfileFile::Load(fifo), Error);  // and does not wait for a writer
    EXPECT_THROW(ProfileFile::Load(dir.path().string()), Error);
}

TEST(ProfileFileSave, WritesCrLfKeepsPermissionBitsAndLeavesNoTemporaryFile)
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
    EXPECT_EQ(EntriesIn(dir.path()), 1u);

    // A new file takes the umask.
    const mode_t oldMask = ::umask(027);
    doc.save(dir.file("new.INI"));
    ::umask(oldMask);
    EXPECT_EQ(ModeOf(dir.file("new.INI")), 0640u);

    // A symbolic link is followed, not replaced.
    fs::create_symlink(path, dir.file("link.INI"));
    ProfileFile::Parse("[A]\r\nk=2\r\n").save(dir.file("link.INI"));
    EXPECT_TRUE(fs::is_symlink(dir.file("link.INI")));
    EXPECT_EQ(ReadFile(path), "[A]\r\nk=2\r\n");
}

TEST(ProfileFileSave, ReadOnlyFileIsReportedAndLeftAlone)
{
    // No write bit at all: refused for root as well, like a read-only attribute.
    TempDir dir;
    const std::string path = dir.file("pelvano.INI");
    WriteFile(path, "[Presets]\r\nPreset1=keep me\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    EXPECT_EQ(MessageOf([&] { ProfileFile::Parse("changed").save(path); }), "Unable to write to " + path);
    EXPECT_EQ(ReadFile(path), "[Presets]\r\nPreset1=keep me\r\n");
    EXPECT_EQ(ModeOf(path), 0444u);
    EXPECT_EQ(EntriesIn(dir.path()), 1u);

    // A file where the folder should be, and a folder where the file should be.
    WriteFile(dir.file("plain"), "");
    EXPECT_THROW(ProfileFile().save(dir.file("plain/pelvano.INI")), Error);
    EXPECT_THROW(ProfileFile().save(dir.path().string()), Error);
    EXPECT_TRUE(fs::is_directory(dir.path()));
}

TEST(ProfileFileSave, FailurePartWayKeepsTheOldFileWhole)
{
    TempDir dir;
    const std::string path = dir.file("pelvano.INI");
    WriteFile(path, "[Presets]\r\nPreset1=old\r\n");
    ProfileFile doc = ProfileFile::Load(path);
    doc.write("Presets", "Format1", std::string(2000, 'x'));

    // Writes beyond 1 KiB fail with EFBIG for this process, root included.
    auto* oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = 1024;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const std::string message = MessageOf([&] { doc.save(path); });
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);

    EXPECT_EQ(message, "Unable to write to " + path);
    EXPECT_EQ(ReadFile(path), "[Presets]\r\nPreset1=old\r\n");
    EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

}  // namespace
}  // namespace pelvano
