#include <cstdio>

#include "base/error.h"
#include "base/format.h"
#include "chapters/chapter_names.h"
#include "fuzz_entries.h"
#include "fuzz_support.h"
#include "output/format_engine.h"

namespace pelvano::fuzz {

namespace {

// A name is one line of UTF-8 text without control characters but tab.
bool IsNameText(const std::string& name)
{
    for (size_t i = 0; i < name.size();) {
        const size_t length = Utf8Length(name, i);
        const auto c = static_cast<unsigned char>(name[i]);
        if (length == 0 || (c < 0x20 && c != '\t') || c == 0x7f)
            return false;
        i += length;
    }
    return true;
}

std::string XmlEscaped(const std::string& name)
{
    return ReplaceAll(ReplaceAll(ReplaceAll(name, "&", "&amp;"), "<", "&lt;"), ">", "&gt;");
}

}  // namespace

void NamesInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> names;
    std::string error;
    try {
        names = ParseChapterNames(bytes);
    } catch (const Error& e) {
        error = e.what();
    }

    // The file gives the same, its errors naming it.
    const std::string path = ScratchFile("names.txt");
    WriteBytes(path, bytes);
    try {
        FUZZ_CHECK(ReadChapterNames(path) == names);
        FUZZ_CHECK_MSG(error.empty(), "the file read where the bytes did not: " + error);
    } catch (const Error& e) {
        FUZZ_CHECK_MSG(e.what() == path + ": " + error, e.what());
    }
    std::remove(path.c_str());
    if (!error.empty()) {
        FUZZ_CHECK_MSG(error.compare(0, 5, "line ") == 0, error);
        return;
    }

    FUZZ_CHECK(names.empty() || !names.back().empty());
    for (const std::string& name : names)
        FUZZ_CHECK_MSG(IsNameText(name), name);
    // "Save..." writes what "Load..." reads back.
    const std::string saved = ChapterNamesText(names);
    FUZZ_CHECK_MSG(ParseChapterNames(saved) == names, saved);

    // Every name through the engine as it stands, and escaped: one line per
    // chapter, the template's name where a name is empty.
    if (names.size() > 512)
        return;
    TitleModel model;
    for (uint32_t k = 0; k < names.size(); ++k) {
        model.cellStartsMs.push_back(k * 1000);
        model.chapterStarts.push_back(k + 1);
    }
    model.cellStartsMs.push_back(static_cast<uint32_t>(names.size()) * 1000);
    model.chapterCount = static_cast<uint32_t>(names.size());
    RenderInput input{"%n|%nx", "", "25000", "0", "0"};
    input.names = names;
    std::string expected;
    for (size_t k = 0; k < names.size(); ++k) {
        const std::string name = names[k].empty() ? Format("Chapter %02zu", k + 1) : names[k];
        expected += name + "|" + XmlEscaped(name) + "\r\n";
    }
    FUZZ_CHECK_MSG(RenderChapters(model, input).text == expected, "names rendered otherwise");
}

}  // namespace pelvano::fuzz
