#pragma once

#include <cstdio>
#include <string>

#include "presets/preset_store.h"

namespace pelvano {

struct AppPaths {
    std::string exePath;  // full path of the running executable
    std::string appDir;   // its folder, with a trailing '/'
    std::string iniPath;  // the presets file beside it
};

AppPaths CurrentAppPaths(const char* argv0);

// The number of a "-p%d" selector read the scanf way ("-p+2" is 2, "-p 3"
// is 3, "-p7x" is 7); 0 when the text does not match.
int ParsePresetSelector(const std::string& selector);

// The start every run shares: the presets are read and their LastDir made the
// working directory; with a command line the executable's folder then takes
// over, and relative paths are looked up there.
class Session {
public:
    explicit Session(AppPaths paths);

    const AppPaths& paths() const { return paths_; }
    PresetStore& store() { return store_; }

    void enterAppDir() const;
    // A regular file, looked up against the working directory.
    static bool FileExists(const std::string& path);
    // Writes the presets back with the working directory as LastDir.
    // Throws Error("Unable to write to %s").
    void savePresets() const;

private:
    AppPaths paths_;
    PresetStore store_;
};

// "<path>: <why the reader could not open it>", for standard error.
std::string IfoOpenFailure(const std::string& ifoPath);

// Batch mode: writes the chapter list of preset n or the raw report to
// `outPath` and returns the exit code. Messages go to `err`.
int RunBatch(Session& session, const std::string& ifoPath, const std::string& outPath,
             const std::string& selector, std::FILE* err);

}  // namespace pelvano
