#include "app/cli/options.h"

#include <algorithm>
#include <climits>

#include "output/timing_rules.h"

namespace pelvano::cli {

namespace {

enum class Id {
    List,
    Json,
    Preset,
    Format,
    Header,
    Footer,
    Report,
    TitleSet,
    Pgc,
    Fps,
    FrameOffset,
    MsOffset,
    ChapterCells,
    SkipCells,
    KeepShortLast,
    ExactNtsc,
    KeyFrames,
    Output,
    Presets,
    Help,
    Version
};

struct Spec {
    Id id;
    char shortName;  // 0: long only
    const char* longName;
    bool takesValue;
};

constexpr Spec kSpecs[] = {
    {Id::List, 'l', "list", false},
    {Id::Json, 0, "json", false},
    {Id::Preset, 'p', "preset", true},
    {Id::Format, 0, "format", true},
    {Id::Header, 0, "header", true},
    {Id::Footer, 0, "footer", true},
    {Id::Report, 'r', "report", false},
    {Id::TitleSet, 's', "title-set", true},
    {Id::Pgc, 'c', "pgc", true},
    {Id::Fps, 0, "fps", true},
    {Id::FrameOffset, 0, "frame-offset", true},
    {Id::MsOffset, 0, "ms-offset", true},
    {Id::ChapterCells, 0, "chapter-cells", true},
    {Id::SkipCells, 0, "skip-cells", true},
    {Id::KeepShortLast, 0, "keep-short-last", false},
    {Id::ExactNtsc, 0, "exact-ntsc", false},
    {Id::KeyFrames, 0, "keyframes", true},
    {Id::Output, 'o', "output", true},
    {Id::Presets, 0, "presets", true},
    {Id::Help, 'h', "help", false},
    {Id::Version, 'V', "version", false},
};

const Spec* FindLong(const std::string& name)
{
    for (const Spec& spec : kSpecs)
        if (name == spec.longName)
            return &spec;
    return nullptr;
}

const Spec* FindShort(char c)
{
    for (const Spec& spec : kSpecs)
        if (spec.shortName == c)
            return &spec;
    return nullptr;
}

std::string NameOf(const Spec& spec)
{
    return std::string("--") + spec.longName;
}

// A whole number >= 1 written in digits only.
std::optional<int> PositiveNumber(const std::string& text)
{
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int value = std::stoi(text);
    return value >= 1 ? std::optional<int>(value) : std::nullopt;
}

int NumberValue(const Spec& spec, const std::string& value)
{
    const std::optional<int> n = PositiveNumber(value);
    if (!n)
        throw UsageError(NameOf(spec) + ": '" + value + "' is not a number from 1 up");
    return *n;
}

void Apply(Options& options, const Spec& spec, const std::string& value)
{
    switch (spec.id) {
    case Id::List:
        options.action = Options::Action::List;
        break;
    case Id::Json:
        options.json = true;
        break;
    case Id::Preset: {
        options.preset = NumberValue(spec, value);
        if (options.preset > 10)
            throw UsageError("--preset: '" + value + "' is not a preset number from 1 to 10");
        break;
    }
    case Id::Format:
        options.format = value;
        break;
    case Id::Header:
        options.header = value;
        break;
    case Id::Footer:
        options.footer = value;
        break;
    case Id::Report:
        options.report = true;
        break;
    case Id::TitleSet:
        options.titleSet = NumberValue(spec, value);
        break;
    case Id::Pgc:
        options.pgc = NumberValue(spec, value);
        break;
    case Id::Fps: {
        const std::optional<int32_t> rate = ParseInt32(value);
        if (!rate || *rate <= 0 || value.find_first_not_of("0123456789") != std::string::npos)
            throw UsageError("--fps: '" + value +
                             "' is not a frame rate in thousandths of a frame per second");
        options.frameRate = value;
        break;
    }
    case Id::FrameOffset:
    case Id::MsOffset: {
        if (!ParseInt32(value))
            throw UsageError(NameOf(spec) + ": '" + value + "' is not a whole number");
        (spec.id == Id::FrameOffset ? options.frameOffset : options.msOffset) = value;
        break;
    }
    case Id::ChapterCells:
        options.chapterCells = ParseCellList(value, NameOf(spec));
        break;
    case Id::SkipCells:
        options.skipCells = ParseCellList(value, NameOf(spec));
        break;
    case Id::KeepShortLast:
        options.keepShortLast = true;
        break;
    case Id::ExactNtsc:
        options.exactNtsc = true;
        break;
    case Id::KeyFrames:
        options.keyFrames = value;
        break;
    case Id::Output:
        options.output = value;
        break;
    case Id::Presets:
        options.presets = value;
        break;
    case Id::Help:
        options.action = Options::Action::Help;
        break;
    case Id::Version:
        options.action = Options::Action::Version;
        break;
    }
}

bool Ends(const Options& options)
{
    return options.action == Options::Action::Help || options.action == Options::Action::Version;
}

void CheckCombination(const Options& options, const std::vector<std::string>& sources)
{
    if (sources.empty())
        throw UsageError("no source given");
    if (sources.size() > 1)
        throw UsageError("more than one source: '" + sources[0] + "' and '" + sources[1] + "'");
    if (options.json && options.action != Options::Action::List)
        throw UsageError("--json works only with --list");
    if (options.header && !options.format)
        throw UsageError("--header works only with --format");
    if (options.footer && !options.format)
        throw UsageError("--footer works only with --format");
    if (options.report && options.format)
        throw UsageError("--report and --format exclude each other");
}

}  // namespace

bool IsOptionForm(const std::vector<std::string>& args)
{
    if (!args.empty() && !args[0].empty() && args[0][0] == '-')
        return true;
    return std::any_of(args.begin(), args.end(),
                       [](const std::string& a) { return a.compare(0, 2, "--") == 0; });
}

CellList ParseCellList(const std::string& text, const std::string& option)
{
    const auto bad = [&] {
        return UsageError(option + ": '" + text +
                          "' is not a list of cell numbers from 1 up such as 1,4,7-9");
    };
    CellList cells;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? comma : comma - start);
        const size_t dash = item.find('-');
        const std::optional<int> first = PositiveNumber(item.substr(0, dash));
        const std::optional<int> last =
            dash == std::string::npos ? first : PositiveNumber(item.substr(dash + 1));
        if (!first || !last || *last < *first || *last - *first > 100000)
            throw bad();
        for (int c = *first; c <= *last; ++c)
            cells.push_back(c);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    std::sort(cells.begin(), cells.end());
    cells.erase(std::unique(cells.begin(), cells.end()), cells.end());
    return cells;
}

Options ParseOptions(const std::vector<std::string>& args)
{
    Options options;
    std::vector<std::string> sources;
    bool optionsEnd = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
            sources.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        if (arg[1] == '-') {
            const size_t eq = arg.find('=');
            const std::string name = arg.substr(2, eq == std::string::npos ? eq : eq - 2);
            const Spec* spec = FindLong(name);
            if (!spec)
                throw UsageError("unknown option '--" + name + "'");
            std::string value;
            if (!spec->takesValue) {
                if (eq != std::string::npos)
                    throw UsageError("option '--" + name + "' takes no value");
            } else if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                throw UsageError("option '--" + name + "' needs a value");
            }
            Apply(options, *spec, value);
            if (Ends(options))
                return options;
            continue;
        }
        // A cluster of short options: flags may be followed by more letters;
        // a value option takes the rest of the argument or the next one.
        for (size_t k = 1; k < arg.size(); ++k) {
            const Spec* spec = FindShort(arg[k]);
            if (!spec)
                throw UsageError(std::string("unknown option '-") + arg[k] + "'");
            std::string value;
            if (spec->takesValue) {
                if (k + 1 < arg.size())
                    value = arg.substr(k + 1);
                else if (i + 1 < args.size())
                    value = args[++i];
                else
                    throw UsageError(std::string("option '-") + arg[k] + "' needs a value");
                Apply(options, *spec, value);
                break;
            }
            Apply(options, *spec, value);
            if (Ends(options))
                return options;
        }
        if (Ends(options))
            return options;
    }
    CheckCombination(options, sources);
    options.source = sources[0];
    return options;
}

}  // namespace pelvano::cli
