#include "app/launcher.h"

#include <unistd.h>

#include <cctype>
#include <climits>
#include <filesystem>

#include "base/error.h"
#include "ifo/title_loader.h"
#include "output/format_engine.h"
#include "presets/text_file.h"

namespace pelvano {

namespace fs = std::filesystem;

AppPaths CurrentAppPaths(const char* argv0)
{
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        exe = fs::absolute(argv0 ? argv0 : "pelvano", ec);
    AppPaths paths;
    paths.exePath = exe.string();
    paths.appDir = exe.parent_path().string();
    if (paths.appDir.empty() || paths.appDir.back() != '/')
        paths.appDir += '/';
    paths.iniPath = PresetsFilePath(paths.exePath);
    return paths;
}

int ParsePresetSelector(const std::string& selector)
{
    if (selector.compare(0, 2, "-p") != 0)
        return 0;
    size_t i = 2;
    while (i < selector.size() && std::isspace(static_cast<unsigned char>(selector[i])))
        ++i;
    bool negative = false;
    if (i < selector.size() && (selector[i] == '+' || selector[i] == '-'))
        negative = selector[i++] == '-';
    if (i >= selector.size() || !std::isdigit(static_cast<unsigned char>(selector[i])))
        return 0;
    long long value = 0;
    for (; i < selector.size() && std::isdigit(static_cast<unsigned char>(selector[i])); ++i)
        value = std::min<long long>(value * 10 + (selector[i] - '0'), INT_MAX);
    return static_cast<int>(negative ? -value : value);
}

Session::Session(AppPaths paths) : paths_(std::move(paths)), store_(LoadPresets(paths_.iniPath))
{
    if (!store_.lastDir.empty() && chdir(store_.lastDir.c_str()) != 0) {
        // A folder that is gone leaves the working directory as it was.
    }
}

void Session::enterAppDir() const
{
    if (chdir(paths_.appDir.c_str()) != 0) {
        // Ignored: relative paths then resolve against the caller's folder.
    }
}

bool Session::FileExists(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(path, ec);
}

void Session::savePresets() const
{
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    SavePresets(paths_.iniPath, store_, ec ? std::string() : cwd.string());
}

std::string IfoOpenFailure(const std::string& ifoPath)
{
    std::string why;
    if (IfoReader::Open(ifoPath, &why) || why.empty())
        why = "not a readable title-set IFO file";
    return ifoPath + ": " + why;
}

int RunBatch(Session& session, const std::string& ifoPath, const std::string& outPath,
             const std::string& selector, std::FILE* err)
{
    session.enterAppDir();
    int exitCode = 0;
    if (!Session::FileExists(ifoPath)) {
        exitCode = 1;
    } else {
        try {
            LoadRequest request;
            request.ifoPath = ifoPath;
            const LoadResult load = LoadTitle(request);
            // The output is written all the same; the line tells a script why
            // it holds no chapters.
            if (load.openAviEnabled == false)
                std::fprintf(err, "pelvano: %s\n", IfoOpenFailure(ifoPath).c_str());
            const int n = ParsePresetSelector(selector);
            if (n >= 1 && n <= kPresetCount) {
                ChapterDocument doc;
                ApplyLoad(doc, load);
                const Preset& preset = session.store().presets[static_cast<size_t>(n - 1)];
                RenderInput input{preset.format, preset.header, load.frameRate.value_or("25000"),
                                  "0", "0"};
                WriteTextFile(outPath, RenderChapters(doc.model, input).text);
            } else {
                WriteTextFile(outPath, load.report.plainText(), kFailedToSaveStream);
            }
        } catch (const Error& e) {
            std::fprintf(err, "%s\n", e.what());
            exitCode = 1;
        }
    }
    try {
        session.savePresets();
    } catch (const Error& e) {
        std::fprintf(err, "%s\n", e.what());
    }
    return exitCode;
}

}  // namespace pelvano
