#include "base/error.h"
#include "chapters/chapter_names.h"
#include "fuzz_entries.h"
#include "fuzz_support.h"

namespace pelvano::fuzz {

void NamesInput(const uint8_t* data, size_t size)
{
    const std::string path = ScratchFile("names.txt");
    WriteBytes(path, data, size);
    std::vector<std::string> names;
    std::string error;
    try {
        names = ParseChapterNames(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const Error& e) {
        error = e.what();
    }
    try {  // the file reads the same, or fails the same naming itself
        FUZZ_CHECK(ReadChapterNames(path) == names && error.empty());
    } catch (const Error& e) {
        FUZZ_CHECK_MSG(e.what() == path + ": " + error && error.compare(0, 5, "line ") == 0, e.what());
        return;
    }
    FUZZ_CHECK(names.empty() || !names.back().empty());
    const std::string saved = ChapterNamesText(names);
    FUZZ_CHECK_MSG(ParseChapterNames(saved) == names, saved);  // "Save..." gives what "Load..." read
}

}  // namespace pelvano::fuzz
