// The executable stays free of Qt so that batch runs start fast and need no
// display; the window lives in a module loaded only for an interactive start.
#include <dlfcn.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/batch_mode.h"
#include "app/cli/command_line.h"
#include "app/cli/options.h"
#include "base/error.h"

namespace {

using GuiMain = int (*)(int, char**, pelvano::Application*);

int RunWindow(pelvano::Application& app, int argc, char** argv)
{
    const std::string module = app.appDir() + "libpelvano_gui.so";
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
    return entry(argc, argv, &app);
}

// A source named on the command line that is not there ends the run before
// any window exists; the presets still go back with the program's folder as
// LastDir, as at the end of every run.
bool EndForMissingFile(const pelvano::Application& app, const char* path)
{
    app.enterAppDir();
    if (pelvano::Application::SourceExists(path))
        return false;
    try {
        app.savePresets(app.readPresets());
    } catch (const pelvano::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    pelvano::Application app(pelvano::Application::CurrentPaths(argv[0]));
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (pelvano::cli::IsOptionForm(args))
        return pelvano::cli::RunCommandLine(app, args, stdout, stderr);
    if (argc == 4)
        return pelvano::RunBatch(app, argv[1], argv[2], argv[3], stderr);
    if (argc >= 2 && EndForMissingFile(app, argv[1]))
        return 1;
    return RunWindow(app, argc, argv);
}
