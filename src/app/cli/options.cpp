#include "app/cli/options.h"

#include <getopt.h>

#include <algorithm>
#include <bitset>
#include <climits>

#include "output/timing_rules.h"
#include "output/video/video_keyframes.h"

namespace pelvano::cli {

namespace {

enum class Id {
    List,
    Json,
    Preset,
    Format,
    Header,
    Footer,
    Names,
    NameTemplate,
    Report,
    Title,
    TitleSet,
    Pgc,
    Playlist,
    All,
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
    bool withList;  // may go with --list
};

// The one option table: getopt_long's table and short-option string are
// made from it, and the help, the man page and the completion name the same
// options (a test keeps them equal).
constexpr Spec kSpecs[] = {
    {Id::List, 'l', "list", false, true},
    {Id::Json, 0, "json", false, true},
    {Id::Preset, 'p', "preset", true, false},
    {Id::Format, 0, "format", true, false},
    {Id::Header, 0, "header", true, false},
    {Id::Footer, 0, "footer", true, false},
    {Id::Names, 0, "names", true, false},
    {Id::NameTemplate, 0, "name-template", true, false},
    {Id::Report, 'r', "report", false, false},
    {Id::Title, 't', "title", true, false},
    {Id::TitleSet, 's', "title-set", true, false},
    {Id::Pgc, 'c', "pgc", true, false},
    {Id::Playlist, 0, "playlist", true, false},
    {Id::All, 0, "all", false, true},
    {Id::Fps, 0, "fps", true, false},
    {Id::FrameOffset, 0, "frame-offset", true, false},
    {Id::MsOffset, 0, "ms-offset", true, false},
    {Id::ChapterCells, 0, "chapter-cells", true, false},
    {Id::SkipCells, 0, "skip-cells", true, false},
    {Id::KeepShortLast, 0, "keep-short-last", false, false},
    {Id::ExactNtsc, 0, "exact-ntsc", false, false},
    {Id::KeyFrames, 0, "keyframes", true, false},
    {Id::Output, 'o', "output", true, true},
    {Id::Presets, 0, "presets", true, false},
    {Id::Help, 'h', "help", false, true},
    {Id::Version, 'V', "version", false, true},
};
constexpr size_t kSpecCount = std::size(kSpecs);

// The table is indexed by Id.
constexpr bool InIdOrder()
{
    for (size_t i = 0; i < kSpecCount; ++i)
        if (static_cast<size_t>(kSpecs[i].id) != i)
            return false;
    return true;
}
static_assert(InIdOrder());

// Options that say two different things: each pair is a usage error.
constexpr std::pair<Id, Id> kExclusive[] = {
    {Id::Report, Id::Preset},
    {Id::Report, Id::Format},
    {Id::Preset, Id::Format},
    {Id::Title, Id::TitleSet},
    {Id::Title, Id::Pgc},
    {Id::Playlist, Id::Title},
    {Id::Playlist, Id::TitleSet},
    {Id::Playlist, Id::Pgc},
    // The report has no chapters to name.
    {Id::Report, Id::Names},
    {Id::Report, Id::NameTemplate},
};

// getopt_long's value for a long option: past every character, so that a
// long option is always told from the short one it shares a letter with.
constexpr int kLongBase = 256;

const Spec& SpecOf(Id id)
{
    return kSpecs[static_cast<size_t>(id)];
}

const Spec* FindShort(int c)
{
    for (const Spec& spec : kSpecs)
        if (spec.shortName != 0 && spec.shortName == c)
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

// Digits only, as a 32-bit unsigned number.
std::optional<uint32_t> Unsigned32(const std::string& text)
{
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const unsigned long long value = std::stoull(text);
    return value <= UINT32_MAX ? std::optional<uint32_t>(static_cast<uint32_t>(value)) : std::nullopt;
}

// A rate as users type it, as rate / scale frames per second: a whole
// number below 1000 is frames per second, from 1000 up thousandths as in
// the window; "29.97" and "30000/1001" are frames per second.
std::optional<AviRate> TypedFrameRate(const std::string& text)
{
    const size_t mark = text.find_first_of("./");
    const std::optional<uint32_t> whole = Unsigned32(text.substr(0, mark));
    if (mark == std::string::npos)
        return whole ? std::optional<AviRate>(AviRate{*whole, *whole < 1000 ? 1u : 1000u}) : std::nullopt;
    const std::string rest = text.substr(mark + 1);
    const std::optional<uint32_t> after = Unsigned32(rest);
    if (!whole || !after)
        return std::nullopt;
    if (text[mark] == '/')
        return AviRate{*whole, *after};
    // A decimal fraction: its digits over the power of ten they fill.
    uint64_t scale = 1;
    for (size_t i = 0; i < rest.size(); ++i)
        scale *= 10;
    const uint64_t rate = uint64_t{*whole} * scale + *after;
    if (rate > UINT32_MAX || scale > UINT32_MAX)
        return std::nullopt;
    return AviRate{static_cast<uint32_t>(rate), static_cast<uint32_t>(scale)};
}

// --frame-offset and --ms-offset: a signed 32-bit number.
std::string OffsetValue(const Spec& spec, const std::string& value)
{
    if (ParseInt32(value))
        return value;
    const size_t digits = !value.empty() && (value[0] == '+' || value[0] == '-') ? 1 : 0;
    const bool wholeNumber =
        value.size() > digits && value.find_first_not_of("0123456789", digits) == std::string::npos;
    throw UsageError(
        NameOf(spec) + ": '" + value +
        (wholeNumber ? "' is out of range (-2147483648 to 2147483647)" : "' is not a whole number"));
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
        const std::optional<int> n = PositiveNumber(value);
        if (!n || *n > 10)
            throw UsageError("--preset: '" + value + "' is not a preset from 1 to 10");
        options.preset = n;
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
    case Id::Names:
        options.names = value;
        break;
    case Id::NameTemplate:
        options.nameTemplate = value;
        break;
    case Id::Report:
        options.report = true;
        break;
    case Id::Title:
        options.title = NumberValue(spec, value);
        break;
    case Id::TitleSet:
        options.titleSet = NumberValue(spec, value);
        break;
    case Id::Pgc:
        options.pgc = NumberValue(spec, value);
        break;
    case Id::Playlist:
        // 00000.mpls is a playlist like any other.
        if (value.empty() || value.size() > 5 || value.find_first_not_of("0123456789") != std::string::npos)
            throw UsageError("--playlist: '" + value + "' is not a playlist number from 0 to 99999");
        options.playlist = std::stoi(value);
        break;
    case Id::All:
        options.all = true;
        break;
    case Id::Fps: {
        const std::optional<AviRate> rate = TypedFrameRate(value);
        options.frameRate = rate ? FrameRateText(*rate, RateRounding::Nearest) : std::nullopt;
        if (!options.frameRate)
            throw UsageError("--fps: '" + value +
                             "' is not a frame rate (25, 29.97, 30000/1001, or 29970 thousandths)");
        break;
    }
    case Id::FrameOffset:
        options.frameOffset = OffsetValue(spec, value);
        break;
    case Id::MsOffset:
        options.msOffset = OffsetValue(spec, value);
        break;
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

using Given = std::bitset<kSpecCount>;

void CheckCombination(const Options& options, const Given& given, const std::vector<std::string>& sources)
{
    if (sources.empty())
        throw UsageError("no source given");
    if (sources.size() > 1)
        throw UsageError("more than one source: '" + sources[0] + "' and '" + sources[1] + "'");
    if (sources[0].empty())
        throw UsageError("the source is an empty name");
    const auto exclusive = [](Id a, Id b) {
        return UsageError(NameOf(SpecOf(a)) + " and " + NameOf(SpecOf(b)) + " exclude each other");
    };
    // A listing is made of the whole source: whatever shapes one title's
    // chapters or report has nothing to act on.
    if (given[static_cast<size_t>(Id::List)])
        for (const Spec& spec : kSpecs)
            if (given[static_cast<size_t>(spec.id)] && !spec.withList)
                throw exclusive(Id::List, spec.id);
    for (const auto& [a, b] : kExclusive)
        if (given[static_cast<size_t>(a)] && given[static_cast<size_t>(b)])
            throw exclusive(a, b);
    if (options.json && options.action != Options::Action::List)
        throw UsageError("--json works only with --list");
    if (options.all && options.action != Options::Action::List)
        throw UsageError("--all works only with --list");
    if (options.header && !options.format)
        throw UsageError("--header works only with --format");
    if (options.footer && !options.format)
        throw UsageError("--footer works only with --format");
}

// The message for an argument getopt_long refused: `c` is what it returned,
// `code` its optopt, `arg` the argument it stopped at.
std::string Refusal(int c, int code, const std::string& arg)
{
    const Spec* spec = code >= kLongBase ? &kSpecs[static_cast<size_t>(code - kLongBase)] : FindShort(code);
    const std::string name =
        spec && code >= kLongBase ? NameOf(*spec) : "-" + std::string(1, static_cast<char>(code));
    if (c == ':')
        return "option '" + name + "' needs a value";
    if (spec)
        return "option '" + name + "' takes no value";
    if (code != 0)
        return "unknown option '" + name + "'";
    // A long option that is no option's name nor the prefix of just one.
    const std::string typed =
        arg.substr(2, arg.find('=') == std::string::npos ? std::string::npos : arg.find('=') - 2);
    std::string candidates;
    for (const Spec& s : kSpecs)
        if (!typed.empty() && std::string(s.longName).compare(0, typed.size(), typed) == 0)
            candidates += (candidates.empty() ? "" : ", ") + NameOf(s);
    if (candidates.find(',') != std::string::npos)
        return "option '--" + typed + "' is ambiguous: " + candidates;
    return "unknown option '--" + typed + "'";
}

}  // namespace

bool IsOptionForm(const std::vector<std::string>& args)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool batchSelector = args.size() == 3 && i == 2;
        if (arg.compare(0, 2, "--") == 0 || (!batchSelector && arg.compare(0, 1, "-") == 0))
            return true;
    }
    return false;
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
    std::vector<option> longOptions;
    // '-': the sources come back in their place among the options (and no
    // POSIXLY_CORRECT stops at the first); ':': no messages of getopt's own.
    std::string shortOptions = "-:";
    for (size_t i = 0; i < kSpecCount; ++i) {
        const Spec& spec = kSpecs[i];
        longOptions.push_back({spec.longName, spec.takesValue ? required_argument : no_argument, nullptr,
                               kLongBase + static_cast<int>(i)});
        if (spec.shortName != 0)
            shortOptions += spec.takesValue ? std::string{spec.shortName, ':'} : std::string{spec.shortName};
    }
    longOptions.push_back({nullptr, 0, nullptr, 0});

    std::vector<std::string> words = args;
    words.insert(words.begin(), "pelvano");
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());

    Options options;
    Given given;
    std::vector<std::string> sources;
    opterr = 0;
    optind = 0;  // glibc: start afresh
    for (int c;
         (c = getopt_long(argc, argv.data(), shortOptions.c_str(), longOptions.data(), nullptr)) != -1;) {
        if (c == 1) {
            sources.emplace_back(optarg);
            continue;
        }
        if (c == '?' || c == ':')
            throw UsageError(Refusal(c, optopt, words[static_cast<size_t>(std::max(optind - 1, 1))]));
        const Spec& spec = c >= kLongBase ? kSpecs[static_cast<size_t>(c - kLongBase)] : *FindShort(c);
        given.set(static_cast<size_t>(spec.id));
        Apply(options, spec, optarg ? optarg : "");
        if (options.action == Options::Action::Help || options.action == Options::Action::Version)
            return options;
    }
    sources.insert(sources.end(), words.begin() + optind, words.end());
    CheckCombination(options, given, sources);
    options.source = sources[0];
    return options;
}

}  // namespace pelvano::cli
