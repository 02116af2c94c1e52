#include "app/application.h"

#include <unistd.h>

#include <filesystem>

namespace pelvano {

namespace fs = std::filesystem;

Application::Application(AppPaths paths) : paths_(std::move(paths)) {}

AppPaths Application::PathsFor(const std::string& exePath)
{
    AppPaths paths;
    paths.exePath = exePath;
    paths.appDir = fs::path(exePath).parent_path().string();
    if (paths.appDir.empty() || paths.appDir.back() != '/')
        paths.appDir += '/';
    paths.iniPath = PresetsFilePath(exePath);
    return paths;
}

AppPaths Application::CurrentPaths(const char* argv0)
{
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        exe = fs::absolute(argv0 ? argv0 : "pelvano", ec);
    return PathsFor(exe.string());
}

PresetStore Application::loadPresets() const
{
    PresetStore store = LoadPresets(paths_.iniPath);
    if (!store.lastDir.empty())
        EnterFolder(store.lastDir);
    return store;
}

void Application::savePresets(const PresetStore& store) const
{
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
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
