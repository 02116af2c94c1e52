// The executable stays free of Qt so that batch runs start fast and need no
// display; the window lives in a module loaded only for an interactive start.
#include <dlfcn.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/command_line.h"
#include "app/cli/options.h"
#include "app/launcher.h"
#include "base/error.h"

namespace {

using GuiMain = int (*)(int, char**, const char*);

int RunWindow(const pelvano::AppPaths& paths, int argc, char** argv)
{
    const std::string module = paths.appDir + "libpelvano_gui.so";
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::fprintf(stderr, "pelvano: cannot load the window: %s\n", dlerror());
        return 1;
    }
    auto entry = reinterpret_cast<GuiMain>(dlsym(handle, "PelvanoGuiMain"));
    if (!entry) {
        std::fprintf(stderr, "pelvano: %s has no entry point\n", module.c_str());
        return 1;
    }
    return entry(argc, argv, paths.exePath.c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    const pelvano::AppPaths paths = pelvano::CurrentAppPaths(argv[0]);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (pelvano::cli::IsOptionForm(args))
        return pelvano::cli::RunCommandLine(paths, args, stdout, stderr);
    if (argc == 4) {
        pelvano::Session session(paths);
        return pelvano::RunBatch(session, argv[1], argv[2], argv[3], stderr);
    }
    if (argc >= 2) {
        // A missing file ends the run before any window exists.
        pelvano::Session session(paths);
        session.enterAppDir();
        if (!pelvano::Session::FileExists(argv[1])) {
            try {
                session.savePresets();
            } catch (const pelvano::Error& e) {
                std::fprintf(stderr, "%s\n", e.what());
            }
            return 1;
        }
    }
    return RunWindow(paths, argc, argv);
}
