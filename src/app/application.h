#pragma once

#include <string>

#include "presets/preset_store.h"

namespace pelvano {

struct AppPaths {
    std::string exePath;  // full path of the running executable
    std::string appDir;   // its folder, with a trailing '/'
    std::string iniPath;  // the presets file in use
};

// The start-up rules every front end shares, kept in one place: where the
// executable, its presets file and its read-me are, which folder is the
// working directory, and how the presets go back to disk with LastDir.
class Application {
public:
    explicit Application(AppPaths paths);
    // The paths of a program whose executable is `exePath`.
    static AppPaths PathsFor(const std::string& exePath);
    // The paths of the running program (through /proc/self/exe).
    static AppPaths CurrentPaths(const char* argv0);

    const AppPaths& paths() const { return paths_; }
    const std::string& appDir() const { return paths_.appDir; }
    std::string readmePath() const { return paths_.appDir + "Readme.txt"; }

    // Reads the presets file and makes its LastDir the working directory.
    PresetStore loadPresets() const;
    // Writes the presets back with the working directory as LastDir.
    // Throws Error("Unable to write to %s").
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
