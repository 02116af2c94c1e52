#include "app/application.h"

#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "base/posix_io.h"

// Plain POSIX calls rather than std::filesystem: linking that in brings the
// whole C++ locale and stream machinery into the executable, whose start-up
// then costs a command-line run more than its work.
namespace pelvano {

namespace {

// $XDG_CONFIG_HOME, else ~/.config; "" when there is no home to be found.
std::string ConfigHome()
{
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
        return xdg;
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return std::string(home) + "/.config";
    if (const passwd* user = getpwuid(getuid()); user && user->pw_dir && user->pw_dir[0] == '/')
        return std::string(user->pw_dir) + "/.config";
    return {};
}

bool Exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool StatMode(const std::string& path, mode_t type)
{
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == type;
}

// The folder part of a path: "/a/b" for "/a/b/c", "/" for "/c", "" for "c".
std::string ParentOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    size_t end = slash;
    while (end > 0 && path[end - 1] == '/')
        --end;
    return end == 0 ? std::string("/") : path.substr(0, end);
}

// "." and ".." resolved by the text alone, repeated separators folded.
std::string LexicallyNormal(const std::string& path)
{
    const bool absolute = !path.empty() && path[0] == '/';
    std::vector<std::string_view> parts;
    std::string_view rest = path;
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..")
                parts.pop_back();
            else if (!absolute)
                parts.push_back(part);
            continue;
        }
        parts.push_back(part);
    }
    std::string out = absolute ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i)
            out += '/';
        out += parts[i];
    }
    return out.empty() ? std::string(".") : out;
}

// mkdir -p; failures show later, when the file in it can't be written.
void MakeFolders(const std::string& folder)
{
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (!part.empty())
            ::mkdir(part.c_str(), 0777);
        if (slash == std::string::npos)
            break;
    }
}

// A new copy of `from` at `to` with its permissions; never over an existing file.
void CopyNewFile(const std::string& from, const std::string& to)
{
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return;
    struct stat st;
    const int out = ::fstat(in, &st) == 0
                        ? ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777)
                        : -1;
    if (out >= 0) {
        ::fchmod(out, st.st_mode & 07777);
        char buffer[16384];
        for (;;) {
            const ssize_t n = ::read(in, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 || !detail::WriteAll(out, buffer, static_cast<size_t>(n)))
                break;
        }
        ::close(out);
    }
    ::close(in);
}

std::string CurrentFolder()
{
    std::string cwd(PATH_MAX, '\0');
    if (!::getcwd(cwd.data(), cwd.size()))
        return {};
    cwd.resize(std::char_traits<char>::length(cwd.c_str()));
    return cwd;
}

}  // namespace

Application::Application(AppPaths paths) : paths_(std::move(paths)) {}

AppPaths Application::PathsFor(const std::string& exePath)
{
    AppPaths paths;
    paths.exePath = exePath;
    paths.appDir = ParentOf(exePath);
    if (paths.appDir.empty() || paths.appDir.back() != '/')
        paths.appDir += '/';
    // Installed, the data lies in share/pelvano at the same distance from the
    // program's folder whatever the prefix.
    const std::string fromAppDir = PELVANO_DATA_FROM_APPDIR;
    paths.dataDir = LexicallyNormal(fromAppDir[0] == '/' ? fromAppDir : paths.appDir + fromAppDir);
    if (paths.dataDir.back() != '/')
        paths.dataDir += '/';
    paths.iniPath = PresetsFilePath(exePath);

    const std::string shippedDefaults = paths.dataDir + "pelvano.INI";
    const bool portable =
        ::access(paths.appDir.c_str(), W_OK) == 0 && (Exists(paths.iniPath) || !Exists(shippedDefaults));
    const std::string configHome = ConfigHome();
    if (!portable && !configHome.empty()) {
        paths.defaultsPath = Exists(shippedDefaults) ? shippedDefaults : paths.iniPath;
        paths.iniPath = configHome + "/pelvano/pelvano.INI";
    }
    return paths;
}

AppPaths Application::CurrentPaths(const char* argv0)
{
    std::string exe(PATH_MAX, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", exe.data(), exe.size());
    if (length > 0 && static_cast<size_t>(length) < exe.size()) {
        exe.resize(static_cast<size_t>(length));
    } else {
        // Without /proc (a bare chroot): argv[0] as the shell found it, through
        // the link in bin/ to the program's own folder.
        const std::string name = argv0 && *argv0 ? argv0 : "pelvano";
        exe = name;
        if (name.find('/') == std::string::npos) {
            const char* path = std::getenv("PATH");
            std::string_view dirs = path ? path : "";
            while (!dirs.empty()) {
                const size_t colon = dirs.find(':');
                std::string candidate(dirs.substr(0, colon));
                if (!candidate.empty() && candidate.back() != '/')
                    candidate += '/';
                candidate += name;
                if (::access(candidate.c_str(), X_OK) == 0) {
                    exe = candidate;
                    break;
                }
                dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
            }
        }
        if (exe[0] != '/')
            exe = CurrentFolder() + "/" + exe;
        if (char* real = ::realpath(exe.c_str(), nullptr)) {
            exe = real;
            std::free(real);
        }
    }
    return PathsFor(exe);
}

std::string Application::readmePath() const
{
    const std::string beside = paths_.appDir + "Readme.txt";
    const std::string installed = paths_.dataDir + "Readme.txt";
    return !Exists(beside) && Exists(installed) ? installed : beside;
}

std::string Application::presetsReadPath() const
{
    const bool useDefaults = !paths_.defaultsPath.empty() && !Exists(paths_.iniPath);
    return useDefaults ? paths_.defaultsPath : paths_.iniPath;
}

PresetStore Application::loadPresets() const
{
    PresetStore store = readPresets();
    if (!store.lastDir.empty())
        EnterFolder(store.lastDir);
    return store;
}

void Application::savePresets(const PresetStore& store) const
{
    const std::string cwd = CurrentFolder();
    if (!paths_.defaultsPath.empty() && !Exists(paths_.iniPath)) {
        // The defaults' comments and any lines of their own come along; a
        // failure here shows as the failed write below.
        MakeFolders(ParentOf(paths_.iniPath));
        CopyNewFile(paths_.defaultsPath, paths_.iniPath);
    }
    SavePresets(paths_.iniPath, store, cwd);
}

void Application::enterAppDir() const
{
    EnterFolder(paths_.appDir);
}

bool Application::FileExists(const std::string& path)
{
    return StatMode(path, S_IFREG);
}

bool Application::SourceExists(const std::string& path)
{
    return FileExists(path) || StatMode(path, S_IFDIR) || StatMode(path, S_IFBLK);
}

bool EnterFolder(const std::string& folder)
{
    return ::chdir(folder.c_str()) == 0;
}

}  // namespace pelvano
