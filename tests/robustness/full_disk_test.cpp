// Writes to a file system that is really full: a small tmpfs mounted in a
// mount namespace of this test process alone (so nothing outside sees it and
// the kernel drops it when the process ends). Needs the right to mount; where
// that is missing the tests skip.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/error.h"
#include "io/text_file.h"
#include "presets/preset_store.h"
#include "presets/profile_file.h"
#include "test_util.h"

namespace pelvano::test {
namespace {

namespace fs = std::filesystem;

class FullDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::unshare(CLONE_NEWNS) != 0)
            GTEST_SKIP() << "no mount namespace: " << std::strerror(errno);
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            GTEST_SKIP() << "mounts cannot be made private: " << std::strerror(errno);
        mountPoint_ = base_.file("fs");
        fs::create_directory(mountPoint_);
        if (::mount("pelvano-test", mountPoint_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                    "size=64m,mode=0755") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
        mounted_ = true;
    }

    void TearDown() override
    {
        if (mounted_)
            ::umount2(mountPoint_.c_str(), MNT_DETACH);
    }

    std::string file(const std::string& name) const { return mountPoint_ + "/" + name; }

    // Fills the file system up to `room` bytes or less.
    void Fill(size_t room = 0)
    {
        const int fd = ::open(file("filler").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        ASSERT_GE(fd, 0);
        const std::string block(4096, 'f');
        for (;;) {
            if (room > 0 && FreeBytes() <= room)
                break;
            const ssize_t n = ::write(fd, block.data(), block.size());
            if (n <= 0)
                break;
        }
        ::close(fd);
        if (room == 0) {
            // Even one byte more fails.
            const int probe = ::open(file("probe").c_str(), O_WRONLY | O_CREAT, 0600);
            ASSERT_GE(probe, 0);
            EXPECT_EQ(::write(probe, "x", 1), -1);
            ::close(probe);
            ::unlink(file("probe").c_str());
        }
    }

    size_t FreeBytes() const
    {
        struct ::statvfs st {};
        return ::statvfs(mountPoint_.c_str(), &st) == 0 ? st.f_bavail * st.f_frsize : 0;
    }

    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(mountPoint_))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir base_;
    std::string mountPoint_;
    bool mounted_ = false;
};

PresetStore BigPresets()
{
    PresetStore store;
    for (size_t i = 0; i < store.presets.size(); ++i) {
        store.presets[i].name = "preset " + std::to_string(i + 1);
        store.presets[i].format = std::string(2000, static_cast<char>('a' + i));
        store.presets[i].header = "header " + std::to_string(i + 1);
    }
    return store;
}

const std::string kOldPresets = "; mine\r\n[Presets]\r\nPreset1=Old one\r\nFormat1=%c\r\n[Other]\r\nx=y\r\n";

TEST_F(FullDisk, PresetsFileStaysWholeWhenNothingFits)
{
    const std::string ini = file("pelvano.INI");
    WriteFile(ini, kOldPresets);
    ASSERT_EQ(::chmod(ini.c_str(), 0640), 0);
    Fill();
    try {
        SavePresets(ini, BigPresets(), "/somewhere");
        ADD_FAILURE() << "saving to a full disk was reported as success";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + ini);
    }
    EXPECT_EQ(ReadFile(ini), kOldPresets);
    struct stat st {};
    ASSERT_EQ(::stat(ini.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"filler", "pelvano.INI"}));
}

TEST_F(FullDisk, PresetsFileStaysWholeWhenTheDiskFillsPartWay)
{
    const std::string ini = file("pelvano.INI");
    WriteFile(ini, kOldPresets);
    Fill(8192);  // room for the start of the new file, not for all 60 kB
    ASSERT_GT(FreeBytes(), 0u);
    EXPECT_THROW(SavePresets(ini, BigPresets(), "/somewhere"), Error);
    EXPECT_EQ(ReadFile(ini), kOldPresets);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"filler", "pelvano.INI"}));

    // With the room back, the same save goes through and keeps the old lines.
    ASSERT_EQ(::unlink(file("filler").c_str()), 0);
    SavePresets(ini, BigPresets(), "/somewhere");
    const std::string saved = ReadFile(ini);
    EXPECT_EQ(saved.rfind("; mine\r\n[Presets]\r\nPreset1=preset 1\r\nFormat1=aaa", 0), 0u);
    EXPECT_NE(saved.find("\r\n[Other]\r\nx=y\r\n"), std::string::npos);
    EXPECT_EQ(LoadPresets(ini).presets[9].format, std::string(2000, 'j'));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"pelvano.INI"}));
}

TEST_F(FullDisk, TextFileWriteFailsAndLeavesThePreviousFileWhole)
{
    // A longer previous file: writing over it in place would leave its tail.
    const std::string out = file("chapters.txt");
    std::string previous;
    for (int i = 0; i < 300; ++i)
        previous += "CHAPTER" + std::to_string(i) + "=old\r\n";
    WriteFile(out, previous);
    Fill();
    for (const char* message : {kStreamWriteError, kFailedToSaveStream}) {
        try {
            WriteTextFile(out, std::string(100000, 'c'), message);
            ADD_FAILURE() << "writing to a full disk was reported as success";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
        EXPECT_EQ(ReadFile(out), previous);
        EXPECT_EQ(Entries(), (std::vector<std::string>{"chapters.txt", "filler"}));
    }
}

TEST_F(FullDisk, BatchRunReportsTheFailedOutputAndKeepsThePresets)
{
    // The program and its presets file on the full disk, the output too.
    const std::string exe = file("pelvano");
    fs::copy_file(BinaryPath("pelvano"), exe);
    const std::string ini = file("pelvano.INI");
    WriteFile(ini, kOldPresets);
    const std::string out = file("chapters.txt");
    WriteFile(out, "previous\r\n");
    Fill();
    const std::string ifo = ExamplePath("VTS_01_0.IFO");

    ProcessResult r = RunProcess({exe, ifo, out, "-p1"});
    EXPECT_EQ(r.exitCode, 1);
    // The output failed; then the presets file could not be replaced (the
    // run moved to the program's folder, which it stores as LastDir).
    EXPECT_EQ(r.err, "Stream write error\nUnable to write to " + ini + "\n");
    r = RunProcess({exe, ifo, out, "x"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("Failed to Save Stream\n", 0), 0u) << r.err;
    EXPECT_EQ(ReadFile(ini), kOldPresets);
    EXPECT_EQ(ReadFile(out), "previous\r\n");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"chapters.txt", "filler", "pelvano", "pelvano.INI"}));
}

}  // namespace
}  // namespace pelvano::test
