#include "fuzz_entries.h"

#include <cstdio>
#include <map>
#include <utility>

#include "base/error.h"
#include "fuzz_support.h"
#include "presets/preset_store.h"
#include "presets/profile_file.h"

namespace pelvano::fuzz {

namespace {

// What read() gives for a key it does not find: no stored value holds a
// line break, so this can't be mistaken for one.
const std::string kMissing = "\n<none>";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == '\x1a';
}

std::vector<std::string> Lines(const ProfileFile& doc)
{
    return SplitFields(reinterpret_cast<const uint8_t*>(doc.contents().data()), doc.contents().size(), '\n');
}

std::string Trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

// A name (as the rules trim it) that the file can hold as it stands: no line
// break, no "=" and no brackets, so it reads back as the same name.
bool PlainName(const std::string& name)
{
    if (name.empty())
        return false;
    for (char c : name)
        if (c == '\r' || c == '\n' || c == '\0' || c == '=' || c == '[' || c == ']')
            return false;
    return true;
}

// A value that reads back exactly as written: nothing the reading rules
// trim, unquote, cut or turn into "\n".
bool PlainValue(const std::string& value)
{
    if (value.size() > ProfileFile::kMaxValue)
        return false;
    if (!value.empty() && (IsBlank(value.front()) || IsBlank(value.back())))
        return false;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return false;
    for (char c : value)
        if (c == '\r' || c == '\n' || c == '\0')
            return false;
    return true;
}

std::string WithoutLineBreaks(std::string s)
{
    for (char& c : s)
        if (c == '\r' || c == '\n')
            c = '_';
    return s;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// `after` is `before` with one line replaced, or with lines added: never a
// line lost or changed elsewhere.
void CheckOtherLinesKept(const std::vector<std::string>& before, const std::vector<std::string>& after)
{
    if (before.size() == after.size()) {
        size_t changed = 0;
        for (size_t i = 0; i < before.size(); ++i)
            changed += before[i] != after[i] ? 1 : 0;
        FUZZ_CHECK_MSG(changed <= 1, "a write changed more than one line");
        return;
    }
    FUZZ_CHECK_MSG(after.size() > before.size(), "a write removed lines");
    size_t j = 0;
    for (size_t i = 0; i < after.size() && j < before.size(); ++i)
        if (after[i] == before[j])
            ++j;
    FUZZ_CHECK_MSG(j == before.size(), "a write that adds lines changed another one");
}

void CheckFileRoundTrip(const ProfileFile& doc)
{
    const std::string path = ScratchFile("profile.INI");
    std::remove(path.c_str());
    const size_t entries = ScratchEntryCount();
    doc.save(path);
    FUZZ_CHECK_MSG(ScratchEntryCount() == entries + 1, "a temporary file was left behind");
    FUZZ_CHECK(ReadBytes(path) == doc.contents());
    FUZZ_CHECK(ProfileFile::Load(path).contents() == doc.contents());
}

}  // namespace

void ProfileInput(const uint8_t* data, size_t size)
{
    const std::vector<std::string> fields = SplitFields(data, size, kSeparator);
    const std::string& original = fields[0];

    ProfileFile doc = ProfileFile::Parse(original);
    // Reading and writing the text back is stable, and holds every line.
    FUZZ_CHECK(ProfileFile::Parse(doc.contents()).contents() == doc.contents());

    // What was written with plain names, by lower-cased (section, key).
    std::map<std::pair<std::string, std::string>, std::string> written;
    for (size_t i = 1; i + 1 < fields.size(); i += 3) {
        // Names are the program's own: no line break, and no key that reads
        // as a section. Such names are stored as they stand (see the notes
        // of the kept cases), so the rules below would not hold for them.
        const std::string section = WithoutLineBreaks(fields[i]);
        std::string key = WithoutLineBreaks(fields[i + 1]);
        const size_t first = key.find_first_not_of(" \t\v\f\x1a");
        if (first != std::string::npos && key[first] == '[')
            key[first] = '_';
        const std::string value = i + 2 < fields.size() ? fields[i + 2] : std::string();

        const std::vector<std::string> before = Lines(doc);
        doc.write(section, key, value);
        CheckOtherLinesKept(before, Lines(doc));

        // A value never splits into lines of its own.
        const std::string back = doc.read(section, key, kMissing);
        FUZZ_CHECK(back == kMissing || back.find('\n') == std::string::npos);
        FUZZ_CHECK(back.size() <= ProfileFile::kMaxValue);
        if (!PlainName(Trim(section)) || !PlainName(Trim(key)))
            continue;
        FUZZ_CHECK_MSG(back != kMissing, "a written key is not found");
        if (PlainValue(value))
            FUZZ_CHECK_MSG(back == value, "'" + value + "' reads back as '" + back + "'");
        written[{Lower(Trim(section)), Lower(Trim(key))}] = back;
        // Every earlier key still reads as it did.
        for (const auto& [name, was] : written) {
            const std::string now = doc.read(name.first, name.second, kMissing);
            FUZZ_CHECK_MSG(now == was, "[" + name.first + "] " + name.second + " changed from '" + was +
                                           "' to '" + now + "'");
        }
    }

    // The same through a real file, replaced as a whole.
    const std::string path = ScratchFile("profile.INI");
    WriteBytes(path, original);
    FUZZ_CHECK(ProfileFile::Load(path).contents() == ProfileFile::Parse(original).contents());
    CheckFileRoundTrip(doc);

    // The preset store over the original file: loading never fails, saving
    // writes the thirty-one keys into the file as it stands.
    WriteBytes(path, original);
    const PresetStore store = LoadPresets(path);
    ProfileFile expected = ProfileFile::Parse(original);
    for (int n = 1; n <= kPresetCount; ++n) {
        const Preset& p = store.presets[static_cast<size_t>(n - 1)];
        expected.write("Presets", "Preset" + std::to_string(n), p.name);
        expected.write("Presets", "Format" + std::to_string(n), p.format);
        expected.write("Presets", "Header" + std::to_string(n), p.header);
    }
    const std::string lastDir = fields.size() > 1 ? fields.back() : "/tmp";
    expected.write("Options", "LastDir", lastDir);
    SavePresets(path, store, lastDir);
    FUZZ_CHECK(ReadBytes(path) == expected.contents());
    const PresetStore again = LoadPresets(path);
    for (size_t i = 0; i < store.presets.size(); ++i) {
        if (PlainValue(store.presets[i].format))
            FUZZ_CHECK(again.presets[i].format == store.presets[i].format);
        if (PlainValue(store.presets[i].header))
            FUZZ_CHECK(again.presets[i].header == store.presets[i].header);
        if (PlainValue(store.presets[i].name))
            FUZZ_CHECK(again.presets[i].name == store.presets[i].name);
    }
    if (PlainValue(lastDir))
        FUZZ_CHECK(again.lastDir == lastDir);
}

}  // namespace pelvano::fuzz
