#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pelvano::cli {

// A command line that can't be obeyed as written: exit code 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Cell numbers as typed, 1-based: "1,4,7-9" gives {1, 4, 7, 8, 9}.
using CellList = std::vector<int>;

struct Options {
    enum class Action { Render, List, Help, Version };
    Action action = Action::Render;

    std::string source;
    bool json = false;
    std::optional<int> preset;  // 1-based; none: 1
    std::optional<std::string> format;
    std::optional<std::string> header;
    std::optional<std::string> footer;
    std::optional<std::string> names;         // --names: the file
    std::optional<std::string> nameTemplate;  // --name-template
    bool report = false;
    std::optional<int> title;              // 1-based, as the disc's title table numbers them
    std::optional<int> titleSet;           // 1-based
    std::optional<int> pgc;                // 1-based
    std::optional<int> playlist;           // nnnnn of a Blu-ray's nnnnn.mpls
    bool all = false;                      // --list: repeats and short playlists too
    std::optional<std::string> frameRate;  // thousandths, as the window's field holds it
    std::string frameOffset = "0";
    std::string msOffset = "0";
    std::optional<CellList> chapterCells;
    std::optional<CellList> skipCells;
    bool keepShortLast = false;
    bool exactNtsc = false;
    std::optional<std::string> keyFrames;
    std::string output = "-";
    std::optional<std::string> presets;
};

// True when the arguments (without argv[0]) ask for this command line rather
// than the positional forms: the first begins with '-', any begins with
// "--", or any but the third of exactly three begins with '-'.
bool IsOptionForm(const std::vector<std::string>& args);

// getopt_long's rules (GNU): short options cluster and take a value attached
// or as the next argument, long ones may be shortened to any unambiguous
// prefix and take it after '=' or as the next argument; "--" ends the
// options. --help and --version win as soon as they are read. Throws
// UsageError.
Options ParseOptions(const std::vector<std::string>& args);

// "1,4,7-9"; throws UsageError naming `option` for anything else.
CellList ParseCellList(const std::string& text, const std::string& option);

}  // namespace pelvano::cli
