#include "app/batch_mode.h"

#include <cctype>
#include <climits>

#include "app/application.h"
#include "base/error.h"
#include "chapters/title_loader.h"
#include "io/text_file.h"
#include "output/format_engine.h"

namespace pelvano {

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

int RunBatch(const Application& app, const std::string& ifoPath, const std::string& outPath,
             const std::string& selector, std::FILE* err)
{
    const PresetStore store = app.loadPresets();
    app.enterAppDir();
    int exitCode = 0;
    if (!Application::FileExists(ifoPath)) {
        exitCode = 1;
    } else {
        try {
            // The one file this form reads.
            RefuseWritingOverInput(outPath, {ifoPath});
            LoadRequest request;
            request.exactNtsc = store.exactNtsc;
            const SourceOpening opening = OpenForLoad(ifoPath, true);
            const LoadResult load =
                opening.source ? LoadTitle(*opening.source, opening.source->defaultTitleSet(), request)
                               : opening.failure;
            // The output is written all the same; the line tells a script why
            // it holds no chapters.
            if (load.failure)
                std::fprintf(err, "pelvano: %s\n", load.failure->what());
            const int n = ParsePresetSelector(selector);
            if (n >= 1 && n <= kPresetCount) {
                ChapterDocument doc;
                ApplyLoad(doc, load);
                const Preset& preset = store.presets[static_cast<size_t>(n - 1)];
                RenderInput input{preset.format, preset.header, load.frameRate.value_or("25000"), "0", "0"};
                input.footer = preset.footer;
                input.nameTemplate = store.nameTemplate;
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
        app.savePresets(store);
    } catch (const Error& e) {
        std::fprintf(err, "%s\n", e.what());
    }
    return exitCode;
}

}  // namespace pelvano
