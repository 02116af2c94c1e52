// Every input a fuzzer ever stopped on, and the seed corpora, run through the
// fuzz entries: a broken rule or a memory fault there fails the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "fuzz_entries.h"
#include "test_util.h"

namespace pelvano::test {
namespace {

namespace fs = std::filesystem;
using Entry = void (*)(const uint8_t*, size_t);

std::vector<fs::path> FilesIn(const fs::path& dir)
{
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        if (e.is_regular_file() && e.path().filename() != "README.md")
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

size_t ReplayFolder(const fs::path& dir, Entry entry)
{
    const std::vector<fs::path> files = FilesIn(dir);
    for (const fs::path& f : files) {
        SCOPED_TRACE(f.string());
        const std::string bytes = ReadFile(f.string());
        entry(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    return files.size();
}

struct Target {
    const char* name;
    Entry entry;
};

const Target kTargets[] = {{"ifo", fuzz::IfoInput},       {"profile", fuzz::ProfileInput},
                           {"format", fuzz::FormatInput}, {"avi", fuzz::AviInput},
                           {"media", fuzz::MediaInput},   {"disc", fuzz::DiscInput},
                           {"mpls", fuzz::MplsInput},     {"names", fuzz::NamesInput}};

void PrintTo(const Target& t, std::ostream* os)
{
    *os << t.name;
}

class Replay : public ::testing::TestWithParam<Target> {};

TEST_P(Replay, KeptFindings)
{
    ReplayFolder(fs::path(PELVANO_CASES_DIR) / GetParam().name, GetParam().entry);
}

TEST_P(Replay, SeedCorpus)
{
    EXPECT_GT(ReplayFolder(fs::path(PELVANO_CORPUS_DIR) / GetParam().name, GetParam().entry), 0u);
}

INSTANTIATE_TEST_SUITE_P(Fuzz, Replay, ::testing::ValuesIn(kTargets),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pelvano::test
