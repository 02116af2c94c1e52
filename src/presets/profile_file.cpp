#include "presets/profile_file.h"

#include <algorithm>
#include <string_view>

#include "base/error.h"
#include "base/format.h"
#include "io/atomic_file.h"
#include "io/text_file.h"

namespace pelvano {

namespace {

// The classic functions count CR and ^Z (DOS end of file) as blanks too.
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == '\x1a';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

enum class LineKind { Blank, Section, Key, Other };

struct LineInfo {
    LineKind kind = LineKind::Other;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // Key only, trimmed
    size_t valueOffset = 0;  // Key only: where the text after "=" starts in the line
};

LineInfo Classify(const std::string& line)
{
    LineInfo info;
    const std::string_view all(line);
    const std::string_view t = Trim(all);
    if (t.empty()) {
        info.kind = LineKind::Blank;
        return info;
    }
    if (t.front() == '[') {
        const size_t close = t.rfind(']');
        if (close != std::string_view::npos && close > 0) {
            info.kind = LineKind::Section;
            info.name = Trim(t.substr(1, close - 1));
            return info;
        }
    }
    const size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return info;  // Other: kept, never read
    info.kind = LineKind::Key;
    info.name = Trim(t.substr(0, eq));
    info.value = Trim(t.substr(eq + 1));
    info.valueOffset = static_cast<size_t>(t.data() - all.data()) + eq + 1;
    return info;
}

// Stored values stay on their line whatever the caller hands in.
std::string OneLine(const std::string& value)
{
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\r' || c == '\n') {
            out += "\\n";
            if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n')
                ++i;
        } else if (c != '\0') {
            out += c;
        }
    }
    return out;
}

}  // namespace

ProfileFile ProfileFile::Parse(const std::string& contents)
{
    ProfileFile doc;
    size_t start = 0;
    while (start < contents.size()) {
        size_t end = contents.find('\n', start);
        const size_t next = end == std::string::npos ? contents.size() : end + 1;
        if (end == std::string::npos)
            end = contents.size();
        if (end > start && contents[end - 1] == '\r')
            --end;
        doc.lines_.emplace_back(contents, start, end - start);
        start = next;
    }
    return doc;
}

ProfileFile ProfileFile::Load(const std::string& path)
{
    std::optional<std::string> bytes;
    try {
        bytes = ReadTextFile(path, kMaxFileSize);
    } catch (const Error&) {
        throw Error(Format("Unable to read %s", path.c_str()));
    }
    if (!bytes)
        return ProfileFile();
    ProfileFile doc = Parse(*bytes);
    doc.loaded_ = *std::move(bytes);
    return doc;
}

std::string ProfileFile::read(const std::string& section, const std::string& key,
                              const std::string& fallback) const
{
    const std::string_view wantSection = Trim(section);
    const std::string_view wantKey = Trim(key);
    bool inSection = false;
    for (const std::string& line : lines_) {
        const LineInfo info = Classify(line);
        if (info.kind == LineKind::Section) {
            if (inSection)
                break;  // only the first section of that name counts
            inSection = EqualNoCase(info.name, wantSection);
            continue;
        }
        if (!inSection || info.kind != LineKind::Key || !EqualNoCase(info.name, wantKey))
            continue;
        std::string_view value = info.value;
        const size_t nul = value.find('\0');
        if (nul != std::string_view::npos)
            value = Trim(value.substr(0, nul));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return std::string(value.substr(0, kMaxValue));
    }
    return fallback;
}

void ProfileFile::write(const std::string& section, const std::string& key, const std::string& value)
{
    const std::string_view wantSection = Trim(section);
    const std::string_view wantKey = Trim(key);
    const std::string stored = OneLine(value);

    size_t sectionLine = lines_.size();
    for (size_t i = 0; i < lines_.size(); ++i) {
        const LineInfo info = Classify(lines_[i]);
        if (info.kind == LineKind::Section && EqualNoCase(info.name, wantSection)) {
            sectionLine = i;
            break;
        }
    }
    if (sectionLine == lines_.size()) {
        // A blank line keeps the new section apart from the one before it.
        if (!lines_.empty() && Classify(lines_.back()).kind != LineKind::Blank)
            lines_.emplace_back();
        lines_.push_back("[" + std::string(wantSection) + "]");
        lines_.push_back(std::string(wantKey) + "=" + stored);
        return;
    }

    size_t lastContent = sectionLine;
    for (size_t i = sectionLine + 1; i < lines_.size(); ++i) {
        const LineInfo info = Classify(lines_[i]);
        if (info.kind == LineKind::Section)
            break;
        if (info.kind == LineKind::Key && EqualNoCase(info.name, wantKey)) {
            // Keep the line's own spelling and spacing up to the "=".
            lines_[i] = lines_[i].substr(0, info.valueOffset) + stored;
            return;
        }
        if (info.kind != LineKind::Blank)
            lastContent = i;
    }
    // After the section's last line, before the blank lines that set it
    // apart from the next one.
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastContent + 1),
                  std::string(wantKey) + "=" + stored);
}

std::string ProfileFile::contents() const
{
    size_t size = 0;
    for (const std::string& line : lines_)
        size += line.size() + 2;
    std::string out;
    out.reserve(size);
    for (const std::string& line : lines_) {
        out += line;
        out += "\r\n";
    }
    return out;
}

void ProfileFile::save(const std::string& path) const
{
    ReplaceFileAtomically(path, contents(), Format("Unable to write to %s", path.c_str()));
}

}  // namespace pelvano
