#include "chapters/chapter_names.h"

#include <cerrno>
#include <cstdint>

#include "base/error.h"
#include "base/format.h"
#include "base/posix_io.h"
#include "io/text_file.h"

namespace pelvano {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// The chapter numbers a chapter file may use; bounds what a line can make us hold.
constexpr uint32_t kMaxChapterNumber = 9999;

// A line of a simple chapter file: "CHAPTERnn=time" or "CHAPTERnnNAME=name".
struct ChapterLine {
    uint32_t number = 0;  // as written; 0 also when it is past kMaxChapterNumber
    bool isName = false;
    std::string_view value;
};

std::optional<ChapterLine> ReadChapterLine(std::string_view line)
{
    constexpr std::string_view kChapter = "CHAPTER";
    constexpr std::string_view kName = "NAME=";
    if (line.substr(0, kChapter.size()) != kChapter)
        return std::nullopt;
    size_t i = kChapter.size();
    ChapterLine result;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i)
        if (result.number <= kMaxChapterNumber)
            result.number = result.number * 10 + static_cast<uint32_t>(line[i] - '0');
    if (i == kChapter.size())
        return std::nullopt;
    if (result.number > kMaxChapterNumber)
        result.number = 0;
    if (line.substr(i, 1) == "=") {
        result.value = line.substr(i + 1);
    } else if (line.substr(i, kName.size()) == kName) {
        result.isName = true;
        result.value = line.substr(i + kName.size());
    } else {
        return std::nullopt;
    }
    return result;
}

// The lines of the text, each without its line end; no empty last line for
// a text that ends with one.
std::vector<std::string_view> Lines(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// A name is UTF-8 text on one line; tabs are the only control characters
// a name may hold.
void CheckText(std::string_view line, size_t lineNumber)
{
    for (size_t i = 0; i < line.size();) {
        const size_t length = Utf8Length(line, i);
        if (length == 0)
            throw Error(Format("line %zu is not UTF-8 text", lineNumber));
        const auto c = static_cast<unsigned char>(line[i]);
        if ((c < 0x20 && c != '\t') || c == 0x7f)
            throw Error(Format("line %zu holds a control character", lineNumber));
        i += length;
    }
}

std::vector<std::string> NamesOfChapterFile(const std::vector<std::string_view>& lines)
{
    std::vector<std::string> names;
    std::vector<bool> named;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].empty())
            continue;
        const std::optional<ChapterLine> line = ReadChapterLine(lines[i]);
        if (!line)
            throw Error(
                Format("line %zu is not a CHAPTERnn= or CHAPTERnnNAME= line of a chapter file", i + 1));
        if (line->number == 0)
            throw Error(Format("line %zu: chapter numbers run from 1 to %u", i + 1, kMaxChapterNumber));
        if (!line->isName)
            continue;
        const size_t k = line->number - 1;
        if (k >= names.size()) {
            names.resize(k + 1);
            named.resize(k + 1);
        }
        if (named[k])
            throw Error(Format("line %zu names chapter %u a second time", i + 1, line->number));
        named[k] = true;
        names[k] = line->value;
    }
    return names;
}

std::string_view FirstNotEmpty(const std::vector<std::string_view>& lines)
{
    for (std::string_view line : lines)
        if (!line.empty())
            return line;
    return {};
}

}  // namespace

std::vector<std::string> ParseChapterNames(std::string_view bytes)
{
    if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        bytes.remove_prefix(kByteOrderMark.size());
    const std::vector<std::string_view> lines = Lines(bytes);
    for (size_t i = 0; i < lines.size(); ++i)
        CheckText(lines[i], i + 1);

    std::vector<std::string> names;
    if (ReadChapterLine(FirstNotEmpty(lines))) {
        names = NamesOfChapterFile(lines);
    } else {
        names.assign(lines.begin(), lines.end());
    }
    while (!names.empty() && names.back().empty())
        names.pop_back();
    return names;
}

std::vector<std::string> ReadChapterNames(const std::string& path)
{
    const std::optional<std::string> bytes = ReadTextFile(path, kMaxChapterNamesFileSize);
    if (!bytes)
        throw Error(path, SystemReason(ENOENT));
    try {
        return ParseChapterNames(*bytes);
    } catch (const Error& e) {
        throw Error(path, e.what());
    }
}

std::string ChapterNamesText(const std::vector<std::string>& names)
{
    size_t count = names.size();
    while (count > 0 && names[count - 1].empty())
        --count;
    const std::vector<std::string_view> views(names.begin(),
                                              names.begin() + static_cast<std::ptrdiff_t>(count));
    const bool asChapterFile = ReadChapterLine(FirstNotEmpty(views)).has_value();
    std::string text;
    // A first name that begins like a byte order mark keeps it behind one of
    // the file's own, which reading drops.
    if (count > 0 && names[0].compare(0, kByteOrderMark.size(), kByteOrderMark) == 0 && !asChapterFile)
        text += kByteOrderMark;
    for (size_t k = 0; k < count; ++k) {
        if (asChapterFile) {
            if (names[k].empty())
                continue;
            text += "CHAPTER";
            AppendZeroPadded(text, k + 1, 2);
            text += "NAME=";
        }
        text += names[k];
        text += '\n';
    }
    return text;
}

std::optional<std::string> ExtraNamesWarning(const std::string& source, size_t names, size_t chapters)
{
    if (names <= chapters)
        return std::nullopt;
    return Format("%s: %zu names, %zu chapters; the names past the last chapter are ignored", source.c_str(),
                  names, chapters);
}

}  // namespace pelvano
