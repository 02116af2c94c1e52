// The executable stays free of Qt so that batch runs start fast and need no
// display; the window lives in a module loaded only for an interactive start.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// Qt aborts with a core dump when it finds no display server; say so
// before its module is loaded. A platform that needs none (offscreen, vnc,
// linuxfb...) is left to Qt.
bool CanOpenWindow()
{
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    if (set("DISPLAY") || set("WAYLAND_DISPLAY"))
        return true;
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    return platform && *platform && std::strncmp(platform, "xcb", 3) != 0 &&
           std::strncmp(platform, "wayland", 7) != 0;
}

// A source named on the command line that is not there ends the run before
// any window exists, with one line saying where it was looked for; the
// presets still go back with the program's folder as LastDir, as at the end
// of every run.
bool EndForMissingFile(const pelvano::Application& app, const char* path)
{
    app.enterAppDir();
    if (pelvano::Application::SourceExists(path))
        return false;
    struct stat st {};
    const std::string why = ::stat(path, &st) == 0 ? "not a file, folder or drive" : std::strerror(errno);
    std::string where;
    if (path[0] != '/') {
        if (char* cwd = ::getcwd(nullptr, 0)) {
            where = std::string(" (looked up in ") + cwd + ")";
            std::free(cwd);
        }
    }
    std::fprintf(stderr, "pelvano: %s: %s%s\n", path, why.c_str(), where.c_str());
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
    if (!CanOpenWindow()) {
        std::fputs("pelvano: cannot open a window: no display (DISPLAY/WAYLAND_DISPLAY unset); for the "
                   "command line see 'pelvano --help'\n",
                   stderr);
        return 1;
    }
    return RunWindow(app, argc, argv);
}
