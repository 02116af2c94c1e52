#pragma once

#include <string>

#include "presets/preset_store.h"

namespace pelvano {

struct AppPaths {
    std::string exePath;  // full path of the running executable
    std::string appDir;   // its folder, with a trailing '/'
    std::string dataDir;  // the installed data (default presets, read-me), with a trailing '/'
    std::string iniPath;  // the presets file in use
    // Read instead of iniPath while that does not exist: the shipped defaults
    // a user's own presets file starts from. Empty for a portable copy.
    std::string defaultsPath;
};

// The start-up rules every front end shares, kept in one place: where the
// executable, its presets file and its read-me are, which folder is the
// working directory, and how the presets go back to disk with LastDir.
class Application {
public:
    explicit Application(AppPaths paths);
    // The paths of a program whose executable is `exePath`. The presets file
    // lies beside the executable when its folder is writable and holds one,
    // or is no installed copy (no shipped defaults in dataDir); otherwise it
    // is the user's $XDG_CONFIG_HOME/pelvano/pelvano.INI.
    static AppPaths PathsFor(const std::string& exePath);
    // The paths of the running program (through /proc/self/exe).
    static AppPaths CurrentPaths(const char* argv0);

    const AppPaths& paths() const { return paths_; }
    const std::string& appDir() const { return paths_.appDir; }
    // Beside the executable, else the installed one.
    std::string readmePath() const;

    // The file the presets are read from: the presets file, or the shipped
    // defaults until the user's own file exists.
    std::string presetsReadPath() const;
    PresetStore readPresets() const { return LoadPresets(presetsReadPath()); }
    // Reads the presets and makes their LastDir the working directory.
    PresetStore loadPresets() const;
    // Writes the presets back with the working directory as LastDir; the
    // user's own file and its folder are made from the defaults the first
    // time. Throws Error("Unable to write to %s").
    void savePresets(const PresetStore& store) const;

    // With a command line, the executable's folder is the working directory:
    // relative paths typed there name files beside the program.
    void enterAppDir() const;

    // What the command line may name as the file to load: a regular file,
    // looked up against the working directory.
    static bool FileExists(const std::string& path);
    // What the window opens from the command line: a file, or a folder or
    // drive holding a disc.
    static bool SourceExists(const std::string& path);

private:
    AppPaths paths_;
};

// Makes `folder` the working directory. A folder that can't be entered
// leaves the working directory as it was; the caller carries on either way.
bool EnterFolder(const std::string& folder);

}  // namespace pelvano
