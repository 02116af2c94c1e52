#include "app/cli/command_line.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "app/cli/help_text.h"
#include "app/cli/listing.h"
#include "app/cli/options.h"
#include "base/error.h"
#include "base/format.h"
#include "base/version.h"
#include "chapters/chapter_names.h"
#include "chapters/playlist_loader.h"
#include "chapters/source.h"
#include "chapters/title_loader.h"
#include "io/text_file.h"
#include "output/format_engine.h"
#include "output/video/media_keyframes.h"
#include "output/video/video_keyframes.h"
#include "presets/preset_store.h"
#include "presets/profile_file.h"

namespace pelvano::cli {

namespace {

Error FileFailure(const std::string& path, const std::string& reason)
{
    return Error(path, reason);
}

// The format, header, footer and name template the output goes through:
// --format, or the preset and NameTemplate read from the presets file (or
// the file --presets names); --name-template wins over both. Here a preset
// the file does not define is an error rather than its key names.
RenderInput ReadFormat(const Application& app, const Options& options)
{
    RenderInput input;
    if (options.format) {
        input.format = *options.format;
        input.header = options.header.value_or("");
        input.footer = options.footer.value_or("");
    } else {
        const std::string path = options.presets.value_or(app.presetsReadPath());
        if (options.presets) {
            // A presets file the user names must be there.
            struct stat st {};
            if (::stat(path.c_str(), &st) != 0)
                throw FileFailure(path, std::strerror(errno));
            if (!S_ISREG(st.st_mode))
                throw FileFailure(path, "not a presets file");
        }
        ProfileFile file;
        try {
            file = ProfileFile::Load(path);
        } catch (const Error& e) {
            throw FileFailure(path, e.what());
        }
        const int number = options.preset.value_or(1);
        const std::optional<Preset> preset = DefinedPreset(file, number);
        if (!preset)
            throw Error(Format("%s has no preset %d (no Format%d key)", path.c_str(), number, number));
        input.format = preset->format;
        input.header = preset->header;
        input.footer = preset->footer;
        input.nameTemplate = NameTemplateOf(file);
    }
    if (options.nameTemplate)
        input.nameTemplate = *options.nameTemplate;
    return input;
}

// `what` names what the cells are of: "program chain 2", "playlist 00001".
void CheckCells(const CellList& cells, size_t cellCount, const char* option, const std::string& what)
{
    for (int c : cells)
        if (static_cast<size_t>(c) > cellCount)
            throw Error(Format("%s: %s has %zu cell(s), no cell %d", option, what.c_str(), cellCount, c));
}

// Marks set as the cell list sets them, then the same rebuilds.
void ApplyCellMarks(ChapterDocument& doc, const Options& options, const std::string& what)
{
    if (options.chapterCells) {
        CheckCells(*options.chapterCells, doc.rows.size(), "--chapter-cells", what);
        for (CellRow& row : doc.rows)
            row.checked = false;
        for (int c : *options.chapterCells)
            doc.rows[static_cast<size_t>(c - 1)].checked = true;
        RebuildChapters(doc);
    }
    if (options.skipCells) {
        CheckCells(*options.skipCells, doc.rows.size(), "--skip-cells", what);
        for (int c : *options.skipCells)
            doc.rows[static_cast<size_t>(c - 1)].timestamp = CellRow::kUnusedMark;
        RebuildTimestamps(doc);
    }
}

// The disc title -t names: its title set and program chain.
const TitleSummary& ChosenTitle(const Source& source, int number, std::FILE* err)
{
    if (source.titles().empty())
        throw FileFailure(source.path(), source.kind() == SourceKind::IfoFile
                                             ? "disc titles are in the disc's VIDEO_TS.IFO, not in a title "
                                               "set's IFO file: choose with -s and -c"
                                             : "the disc's title table (VIDEO_TS.IFO) cannot be read: choose "
                                               "with -s and -c");
    const TitleSummary* title = source.title(number);
    if (!title)
        throw FileFailure(source.path(),
                          Format("no title %d (the disc has %d)", number, source.titles().back().number));
    if (title->severalPgcs)
        std::fprintf(err,
                     "pelvano: title %d runs through more than one program chain: its first, %d of title set "
                     "%d, is used\n",
                     number, title->pgc, title->titleSet);
    return *title;
}

// The playlist load the window would make for this Blu-ray source.
LoadResult LoadChosenPlaylist(const Options& options, const Source& source)
{
    if (options.title || options.titleSet || options.pgc)
        throw FileFailure(options.source, "a Blu-ray source has playlists, not disc titles, title sets or "
                                          "program chains: choose with --playlist");
    const int number = options.playlist.value_or(source.defaultPlaylist());
    if (!source.playlist(number))
        throw FileFailure(options.source, Format("no playlist %05d (--list --all lists the %zu it has)",
                                                 number, source.playlists().size()));
    LoadRequest request;
    request.fixLastChapter = !options.keepShortLast;
    request.withReport = options.report;
    return LoadPlaylist(source, number, request);
}

// The title load the window would make for this source, title set and
// program chain (or playlist); `inputs` the files the source was read
// from; `what` names what its cells are of.
LoadResult LoadChosenTitle(const Options& options, std::vector<std::string>& inputs, std::string& what,
                           std::FILE* err)
{
    const SourceOpening opening = OpenForLoad(options.source);
    if (!opening.source)
        throw *opening.failure.failure;
    const Source& source = *opening.source;
    inputs = source.inputs();
    if (source.isBluray()) {
        LoadResult load = LoadChosenPlaylist(options, source);
        what = Format("playlist %05d", options.playlist.value_or(source.defaultPlaylist()));
        return load;
    }
    if (options.playlist)
        throw FileFailure(options.source, "a DVD has no playlists: choose with -t, -s and -c");
    std::optional<int> titleSetOption = options.titleSet;
    std::optional<int> pgcOption = options.pgc;
    if (options.title) {
        const TitleSummary& title = ChosenTitle(source, *options.title, err);
        titleSetOption = title.titleSet;
        pgcOption = title.pgc;
    }
    const int number = titleSetOption.value_or(source.defaultTitleSet());
    const TitleSetSummary* titleSet = source.titleSet(number);
    if (!titleSet && source.kind() == SourceKind::IfoFile)
        throw FileFailure(options.source, Format("the file is title set %d, not title set %d",
                                                 source.titleSets().front().number, number));
    if (!titleSet) {
        std::string numbers;
        for (const TitleSetSummary& t : source.titleSets())
            numbers += (numbers.empty() ? "" : ", ") + std::to_string(t.number);
        throw FileFailure(options.source,
                          Format("no title set %d (the source has %s)", number, numbers.c_str()));
    }
    if (titleSet->pgcs.empty())
        throw FileFailure(options.source, source.kind() == SourceKind::IfoFile && !titleSetOption
                                              ? std::string("the title set has no program chain")
                                              : Format("title set %d has no program chain", number));
    LoadRequest request;
    request.fixLastChapter = !options.keepShortLast;
    request.withReport = options.report;
    request.exactNtsc = options.exactNtsc;
    if (pgcOption) {
        if (static_cast<size_t>(*pgcOption) > titleSet->pgcs.size())
            throw FileFailure(options.source, Format("no program chain %d (the title set has %zu)",
                                                     *pgcOption, titleSet->pgcs.size()));
        request.newFile = false;
        request.currentTitle = *pgcOption - 1;
    }
    LoadResult load = LoadTitle(source, number, request);
    if (!load.model)
        throw FileFailure(options.source, Format("title set %d cannot be read", number));
    what = Format("program chain %d", load.selectedTitle + 1);
    return load;
}

// "Open video" for --keyframes: its frame-rate text. The window's messages
// for a file it can't read say here what the file is.
std::optional<std::string> OpenKeyFrames(KeyFrameIndexCache& cache, const std::string& path)
{
    constexpr const char* kNotAVideo = "not a video file (AVI, Matroska or MP4/MOV)";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw FileFailure(path, std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        throw FileFailure(path, kNotAVideo);
    try {
        return cache.openVideo(path);
    } catch (const Error& e) {
        const std::string message = e.what();
        throw FileFailure(path,
                          message == kAviOpenError || message == kMediaOpenError ? kNotAVideo : message);
    }
}

std::string Render(const Application& app, const Options& options, std::vector<std::string>& inputs,
                   std::FILE* err)
{
    // Read first: a presets or names file that can't be read fails before the source.
    RenderInput input = options.report ? RenderInput{} : ReadFormat(app, options);
    if (options.names)
        input.names = ReadChapterNames(*options.names);
    std::string what;
    const LoadResult load = LoadChosenTitle(options, inputs, what, err);
    if (options.report)
        return load.report.plainText();

    ChapterDocument doc;
    ApplyLoad(doc, load);
    ApplyCellMarks(doc, options, what);
    if (options.names)
        if (const std::optional<std::string> warning =
                ExtraNamesWarning(*options.names, input.names.size(), doc.model.chapterCount))
            std::fprintf(err, "pelvano: %s\n", warning->c_str());

    input.frameRate = options.frameRate.value_or(load.frameRate.value_or("25000"));
    input.frameOffset = options.frameOffset;
    input.msOffset = options.msOffset;
    KeyFrameOpener snap;
    KeyFrameIndexCache keyFrames;
    if (options.keyFrames) {
        // As "Open video" and "Synch 2 KF" do: the file's rate replaces the
        // title's (a rate typed on the command line wins over both), and the
        // rendering snaps to its key frames.
        const std::optional<std::string> rate = OpenKeyFrames(keyFrames, *options.keyFrames);
        if (!options.frameRate && rate)
            input.frameRate = *rate;
        snap = [&keyFrames, &options] { return keyFrames.keyFrames(*options.keyFrames); };
    }
    try {
        return RenderChapters(doc.model, input, snap).text;
    } catch (const Error& e) {
        throw Error(options.keyFrames ? *options.keyFrames + ": " + e.what() : std::string(e.what()));
    }
}

// Standard output, or `path` replaced whole unless it is one of `inputs`. A
// failed write says the system's reason.
void Emit(const std::string& path, const std::string& bytes, const std::vector<std::string>& inputs,
          std::FILE* out, const char* partWayMessage = kStreamWriteError)
{
    errno = 0;
    if (path == "-") {
        if (std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() || std::fflush(out) != 0)
            throw FileFailure("standard output", std::strerror(errno));
        return;
    }
    RefuseWritingOverInput(path, inputs);
    try {
        WriteTextFile(path, bytes, partWayMessage);
    } catch (const Error& e) {
        const int code = errno;
        std::string message = e.what();
        if (code != 0)  // a write that failed part way: the system's reason alone
            message = message == partWayMessage ? std::strerror(code) : message + ": " + std::strerror(code);
        throw message.find(path) == std::string::npos ? FileFailure(path, message) : Error(message);
    }
}

int Run(const Application& app, const Options& options, std::FILE* out, std::FILE* err)
{
    switch (options.action) {
    case Options::Action::Help:
        Emit("-", kHelpText, {}, out);
        return 0;
    case Options::Action::Version:
        Emit("-", std::string("pelvano ") + kVersion + "\n", {}, out);
        return 0;
    case Options::Action::List: {
        const Source source = Source::Open(options.source);
        // Title sets the disc names but that can't be read are left out of
        // the listing and said on standard error.
        for (const std::string& problem : source.problems())
            std::fprintf(err, "pelvano: %s\n", problem.c_str());
        Emit(options.output,
             options.json ? ListingJson(source, options.all) : ListingText(source, options.all),
             source.inputs(), out);
        return 0;
    }
    case Options::Action::Render:
        break;
    }
    std::vector<std::string> inputs;
    const std::string bytes = Render(app, options, inputs, err);
    Emit(options.output, bytes, inputs, out, options.report ? kFailedToSaveStream : kStreamWriteError);
    return 0;
}

}  // namespace

int RunCommandLine(const Application& app, const std::vector<std::string>& args, std::FILE* out,
                   std::FILE* err)
{
    Options options;
    try {
        options = ParseOptions(args);
    } catch (const UsageError& e) {
        std::fprintf(err, "pelvano: %s\nTry 'pelvano --help'.\n", e.what());
        return 2;
    }
    try {
        return Run(app, options, out, err);
    } catch (const Error& e) {
        std::fprintf(err, "pelvano: %s\n", e.what());
    }
    return 1;
}

}  // namespace pelvano::cli
