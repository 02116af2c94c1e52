#include "test_util.h"

#include "base/error.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <stdexcept>

namespace pelvano::test {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "pelvano-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ec);
    std::filesystem::remove_all(path_, ec);
}

std::string FixturePath(const std::string& relative)
{
    return std::string(PELVANO_FIXTURES_DIR) + "/" + relative;
}
std::string ExamplePath(const std::string& relative)
{
    return std::string(PELVANO_EXAMPLES_DIR) + "/" + relative;
}
std::string BinaryPath(const std::string& relative)
{
    return std::string(PELVANO_BINARY_DIR) + "/" + relative;
}

std::vector<std::string> TitleSetFolders()
{
    std::vector<std::string> folders;
    for (const auto& entry : std::filesystem::directory_iterator(FixturePath("dvd")))
        if (std::filesystem::exists(entry.path() / "VTS_01_0.IFO"))
            folders.push_back(entry.path().string());
    std::sort(folders.begin(), folders.end());
    folders.insert(folders.begin(), PELVANO_EXAMPLES_DIR);
    return folders;
}

namespace {

// The test programs live elsewhere than the executable, beside which the
// core looks for the video module: name the build's module for them.
const bool kVideoModuleNamed =
    setenv("PELVANO_VIDEO_MODULE", PELVANO_BINARY_DIR "/libpelvano_video.so", 0) == 0;

}  // namespace

std::string TestVideo(const std::string& name)
{
    const std::string dir = BinaryPath("test-videos");
    const ProcessResult made =
        RunProcess({"/bin/sh", std::string(PELVANO_SUPPORT_DIR) + "/make_test_video.sh", dir, name});
    if (made.exitCode != 0)
        throw std::runtime_error("cannot make " + name + " (are ffmpeg and x264 installed?): " + made.err);
    return dir + "/" + name;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string MessageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Error& e) {
        return e.what();
    }
    return "<no error>";
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

}  // namespace pelvano::test

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pelvano::test {

namespace {

std::string Slurp(int fd)
{
    std::string data;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        data.append(buf, static_cast<size_t>(n));
    return data;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& cwd,
                         const std::vector<std::string>& unset)
{
    TempDir capture;
    const std::string outPath = capture.file("out");
    const std::string errPath = capture.file("err");
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0)
            _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0)
            _exit(127);
        for (const std::string& name : unset)
            unsetenv(name.c_str());
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ProcessResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const int outFd = open(outPath.c_str(), O_RDONLY);
    const int errFd = open(errPath.c_str(), O_RDONLY);
    if (outFd >= 0) {
        result.out = Slurp(outFd);
        close(outFd);
    }
    if (errFd >= 0) {
        result.err = Slurp(errFd);
        close(errFd);
    }
    return result;
}

std::string FindProgram(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        const std::filesystem::path candidate = std::filesystem::path(dirs.substr(start, end - start)) / name;
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec) && access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
        start = end + 1;
    }
    return {};
}

ExecutableCopy::ExecutableCopy() : exe_(dir_.file("pelvano"))
{
    std::filesystem::copy_file(BinaryPath("pelvano"), exe_);
}

ProcessResult ExecutableCopy::run(std::vector<std::string> args, const std::string& cwd) const
{
    args.insert(args.begin(), exe_);
    return RunProcess(args, cwd.empty() ? dir_.path().string() : cwd,
                      {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
}

std::vector<uint32_t> DvdxchapTimes(const std::string& path)
{
    std::vector<uint32_t> times;
    const std::string text = ReadFile(path);
    const std::regex line(R"(CHAPTER\d+=(\d+):(\d+):(\d+)\.(\d+))");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), line); it != std::sregex_iterator(); ++it) {
        const auto& m = *it;
        times.push_back(std::stoul(m[1]) * 3600000 + std::stoul(m[2]) * 60000 + std::stoul(m[3]) * 1000 +
                        std::stoul(m[4]));
    }
    return times;
}

int LsdvdLongestTrack(const std::string& path)
{
    std::smatch m;
    const std::string text = ReadFile(path);
    return std::regex_search(text, m, std::regex(R"('longest_track'\s*:\s*(\d+))")) ? std::stoi(m[1]) : -1;
}

void CopyTitleSetFiles(const std::string& fixture, const std::string& videoTs, bool lower)
{
    std::filesystem::create_directories(videoTs);
    for (const auto& entry : std::filesystem::directory_iterator(fixture)) {
        const std::string ext = entry.path().extension().string();
        if (ext != ".IFO" && ext != ".BUP")
            continue;
        std::string name = entry.path().filename().string();
        if (lower)
            std::transform(name.begin(), name.end(), name.begin(), ::tolower);
        std::filesystem::copy_file(entry.path(), std::filesystem::path(videoTs) / name);
    }
}

void MakeIso(const std::string& root, const std::string& iso, const std::vector<std::string>& options)
{
    std::vector<std::string> argv = {PELVANO_GENISOIMAGE, "-quiet"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), {"-o", iso, root});
    const ProcessResult made = RunProcess(argv);
    if (made.exitCode != 0)
        throw std::runtime_error("genisoimage cannot make " + iso + ": " + made.err);
}

Disc MakeDisc(const std::string& fixture, const std::string& dir)
{
    const Disc disc{dir, dir + "/VIDEO_TS", dir + ".iso"};
    CopyTitleSetFiles(fixture, disc.videoTs);
    MakeIso(disc.above, disc.iso, {"-dvd-video"});
    return disc;
}

}  // namespace pelvano::test
