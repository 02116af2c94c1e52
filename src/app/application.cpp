#include "app/application.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace pelvano {

namespace fs = std::filesystem;

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
    std::error_code ec;
    return fs::exists(path, ec);
}

}  // namespace

Application::Application(AppPaths paths) : paths_(std::move(paths)) {}

AppPaths Application::PathsFor(const std::string& exePath)
{
    AppPaths paths;
    paths.exePath = exePath;
    paths.appDir = fs::path(exePath).parent_path().string();
    if (paths.appDir.empty() || paths.appDir.back() != '/')
        paths.appDir += '/';
    // Installed, the data lies in share/pelvano at the same distance from the
    // program's folder whatever the prefix.
    paths.dataDir = (fs::path(paths.appDir) / PELVANO_DATA_FROM_APPDIR).lexically_normal().string();
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
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) {
        // Without /proc (a bare chroot): argv[0] as the shell found it, through
        // the link in bin/ to the program's own folder.
        const std::string name = argv0 && *argv0 ? argv0 : "pelvano";
        exe = name;
        if (name.find('/') == std::string::npos) {
            const char* path = std::getenv("PATH");
            std::string_view dirs = path ? path : "";
            while (!dirs.empty()) {
                const size_t colon = dirs.find(':');
                const fs::path candidate = fs::path(dirs.substr(0, colon)) / name;
                if (::access(candidate.c_str(), X_OK) == 0) {
                    exe = candidate;
                    break;
                }
                dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
            }
        }
        exe = fs::absolute(exe, ec);
        if (fs::path real = fs::weakly_canonical(exe, ec); !ec)
            exe = real;
    }
    return PathsFor(exe.string());
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
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    if (!paths_.defaultsPath.empty() && !Exists(paths_.iniPath)) {
        // The defaults' comments and any lines of their own come along; a
        // failure here shows as the failed write below.
        std::error_code ignored;
        fs::create_directories(fs::path(paths_.iniPath).parent_path(), ignored);
        fs::copy_file(paths_.defaultsPath, paths_.iniPath, ignored);
    }
    SavePresets(paths_.iniPath, store, ec ? std::string() : cwd.string());
}

void Application::enterAppDir() const
{
    EnterFolder(paths_.appDir);
}

bool Application::FileExists(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(path, ec);
}

bool Application::SourceExists(const std::string& path)
{
    std::error_code ec;
    return FileExists(path) || (!path.empty() && (fs::is_directory(path, ec) || fs::is_block_file(path, ec)));
}

bool EnterFolder(const std::string& folder)
{
    return ::chdir(folder.c_str()) == 0;
}

}  // namespace pelvano
