#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace pelvano::test {

// A private folder removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

std::string FixturePath(const std::string& relative);  // under tests/fixtures
std::string ExamplePath(const std::string& relative);  // under examples
std::string BinaryPath(const std::string& relative);   // under the build folder
// The folders of the real title sets, each with its dvdauthor, lsdvd and
// dvdxchap records: the sample's, then the fixtures' in name order.
std::vector<std::string> TitleSetFolders();
// A video made with ffmpeg and x264 by make_test_video.sh (its recipes name
// the files), once per build folder.
std::string TestVideo(const std::string& name);

std::string ReadFile(const std::string& path);
// The message of the pelvano::Error that `action` throws, or "<no error>".
std::string MessageOf(const std::function<void()>& action);
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace pelvano::test

#include <cstdint>
#include <vector>

namespace pelvano::test {

struct ProcessResult {
    int exitCode = -1;  // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs argv[0] with the given arguments in `cwd`, with the environment
// variables in `unset` removed; standard input is /dev/null.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& cwd = {},
                         const std::vector<std::string>& unset = {});

// The full path of a program found on PATH, "" when there is none.
std::string FindProgram(const std::string& name);

// The built executable copied into a private folder, run there the way a
// script runs it: no display, standard input /dev/null.
class ExecutableCopy {
public:
    ExecutableCopy();

    const std::string& exe() const { return exe_; }
    const std::filesystem::path& dir() const { return dir_.path(); }
    std::string file(const std::string& name) const { return dir_.file(name); }  // beside it
    // Runs it with `args` in `cwd` (its own folder when empty).
    ProcessResult run(std::vector<std::string> args, const std::string& cwd = {}) const;

private:
    TempDir dir_;
    std::string exe_;
};

// Chapter start times (ms) as dvdxchap printed them: CHAPTERnn=hh:mm:ss.mmm.
std::vector<uint32_t> DvdxchapTimes(const std::string& path);
// The 1-based number lsdvd gave the longest title, -1 when it names none.
int LsdvdLongestTrack(const std::string& path);

// A fixture folder's IFO and BUP files copied into `videoTs`, which is
// created; their names in lower case when `lower`.
void CopyTitleSetFiles(const std::string& fixture, const std::string& videoTs, bool lower = false);
// An image of the folder `root` made by genisoimage with `options`.
void MakeIso(const std::string& root, const std::string& iso, const std::vector<std::string>& options);

// A disc of a fixture folder's title sets: <dir>/VIDEO_TS, and <dir>.iso made
// from it with genisoimage -dvd-video.
struct Disc {
    std::string above, videoTs, iso;
};
Disc MakeDisc(const std::string& fixture, const std::string& dir);

}  // namespace pelvano::test
