// Damaged copies of the real title sets through the batch executable: cut
// short, bits flipped, tables swapped, pointers and sizes bent. Every run must
// end normally, quickly, with the report's first line or the chapter list.
//
// PELVANO_MUTATION_RUNS sets the number of runs (tests/robustness/
// mutate_batch.sh runs 1000); PELVANO_MUTATION_SEED the first seed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>

#include "presets/profile_file.h"
#include "test_util.h"

namespace pelvano::test {
namespace {

namespace fs = std::filesystem;

constexpr size_t kSector = 2048;
// Sector pointers of the title set's tables in its header, 0xC0 to 0xE4.
constexpr size_t kFirstTablePointer = 0xC0;
constexpr size_t kTablePointers = 10;

uint32_t Get32(const std::string& b, size_t at)
{
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i)
        v = v << 8 | static_cast<uint8_t>(at + i < b.size() ? b[at + i] : 0);
    return v;
}

void Put32(std::string& b, size_t at, uint32_t v)
{
    for (size_t i = 0; i < 4 && at + i < b.size(); ++i)
        b[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

// A damaged copy of `ifo` and a word for what was done to it.
class Mutator {
public:
    explicit Mutator(uint32_t seed) : rng_(seed) {}

    std::string operator()(std::string b, std::string* what)
    {
        const unsigned rounds = 1 + pick(4) / 3;  // mostly one damage, sometimes two
        for (unsigned r = 0; r < rounds && !b.empty(); ++r) {
            switch (pick(6)) {
            case 0:
                truncate(b, what);
                break;
            case 1:
                flipBits(b, what);
                break;
            case 2:
                swapSectors(b, what);
                break;
            case 3:
                swapPointers(b, what);
                break;
            case 4:
                bendWord(b, what);
                break;
            default:
                stompTable(b, what);
                break;
            }
        }
        return b;
    }

private:
    uint32_t pick(uint32_t n) { return n ? static_cast<uint32_t>(rng_() % n) : 0; }

    // Somewhere a table starts: the sector a header pointer names, if any.
    size_t tableStart(const std::string& b)
    {
        const uint32_t sector = Get32(b, kFirstTablePointer + 4 * (2 + pick(kTablePointers - 2)));
        const size_t at = size_t{sector} * kSector;
        if (at < b.size())
            return at;
        return std::min(b.size(), kSector * (1 + pick(static_cast<uint32_t>(b.size() / kSector))));
    }

    void truncate(std::string& b, std::string* what)
    {
        const size_t size = pick(2) ? kSector * pick(static_cast<uint32_t>(b.size() / kSector + 1))
                                    : pick(static_cast<uint32_t>(b.size()));
        b.resize(std::min(size, b.size()));
        *what += " truncate:" + std::to_string(size);
    }

    void flipBits(std::string& b, std::string* what)
    {
        const unsigned n = 1 + pick(16);
        for (unsigned i = 0; i < n; ++i) {
            // Half in the header and the starts of tables, where the counts
            // and offsets are; half anywhere.
            size_t at = pick(2) ? tableStart(b) + pick(64) : pick(static_cast<uint32_t>(b.size()));
            if (pick(3) == 0)
                at = kFirstTablePointer + pick(4 * kTablePointers);
            if (at < b.size())
                b[at] = static_cast<char>(b[at] ^ (1 << pick(8)));
        }
        *what += " flip:" + std::to_string(n);
    }

    void swapSectors(std::string& b, std::string* what)
    {
        const uint32_t sectors = static_cast<uint32_t>(b.size() / kSector);
        if (sectors < 2)
            return;
        const uint32_t x = pick(sectors), y = pick(sectors);
        for (size_t i = 0; i < kSector; ++i)
            std::swap(b[x * kSector + i], b[y * kSector + i]);
        *what += " swap-sectors:" + std::to_string(x) + "," + std::to_string(y);
    }

    void swapPointers(std::string& b, std::string* what)
    {
        const size_t x = kFirstTablePointer + 4 * pick(kTablePointers);
        const size_t y = kFirstTablePointer + 4 * pick(kTablePointers);
        const uint32_t vx = Get32(b, x), vy = Get32(b, y);
        Put32(b, x, vy);
        Put32(b, y, vx);
        *what += " swap-tables:" + std::to_string(x) + "," + std::to_string(y);
    }

    // A count, size or offset set to an edge value: the words at the start
    // of a table (count, last byte, first entries) or a header pointer.
    void bendWord(std::string& b, std::string* what)
    {
        static constexpr uint32_t kEdges[] = {
            0, 1, 0xFF, 0xFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFF0, 0x00FFFFF0, 0x1000, 0x7FF};
        const size_t at =
            pick(3) ? tableStart(b) + 2 * pick(24) : kFirstTablePointer + 4 * pick(kTablePointers);
        uint32_t v = kEdges[pick(std::size(kEdges))];
        if (pick(4) == 0)
            v = static_cast<uint32_t>(rng_());
        if (pick(2)) {
            Put32(b, at, v);
        } else if (at + 1 < b.size()) {
            b[at] = static_cast<char>(v >> 8);
            b[at + 1] = static_cast<char>(v);
        }
        *what += " bend:" + std::to_string(at);
    }

    // One table overwritten by another's bytes.
    void stompTable(std::string& b, std::string* what)
    {
        const size_t to = tableStart(b), from = tableStart(b);
        const size_t n = std::min({size_t{64} + pick(512), b.size() - to, b.size() - from});
        b.replace(to, n, b.substr(from, n));
        *what += " stomp:" + std::to_string(from) + "->" + std::to_string(to);
    }

    std::mt19937 rng_;
};

size_t EnvNumber(const char* name, size_t fallback)
{
    const char* v = std::getenv(name);
    return v && *v ? std::strtoul(v, nullptr, 10) : fallback;
}

bool AllLinesEndInCrLf(const std::string& text)
{
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            return false;
    return text.empty() || (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0);
}

// The report of a file that did not open: its line, then at most one line
// of reason.
bool IsFailedOpenReport(const std::string& text, const std::string& ifo)
{
    const std::string first = "error opening file " + ifo + "\r\n";
    if (text.rfind(first, 0) != 0)
        return false;
    const std::string rest = text.substr(first.size());
    return rest.empty() || rest.find("\r\n") == rest.size() - 2;
}

// The one line batch mode writes on standard error for a file that did not
// open: the file and the reason.
bool IsOpenFailureLine(const std::string& err, const std::string& ifo)
{
    return err.rfind("pelvano: " + ifo + ": ", 0) == 0 && err.find('\n') == err.size() - 1;
}

class BatchMutation : public ::testing::Test {};

TEST_F(BatchMutation, DamagedTitleSetsEndNormallyAndFast)
{
    const size_t runs = EnvNumber("PELVANO_MUTATION_RUNS", 200);
    const uint32_t firstSeed = static_cast<uint32_t>(EnvNumber("PELVANO_MUTATION_SEED", 1));

    ExecutableCopy app;
    TempDir work;
    // The shipped presets, so that -p1 renders a real format line.
    ProfileFile ini;
    ini.write("Presets", "Format1", "CHAPTER%C=%hh:%mm:%ss.%ms\\nCHAPTER%CNAME=Chapter %C|%f|%ff|%cc");
    ini.write("Presets", "Header1", "head\\n");
    WriteFile(app.file("pelvano.INI"), ini.contents());

    std::vector<std::string> fixtures;
    for (const std::string& folder : TitleSetFolders())
        fixtures.push_back(folder + "/VTS_01_0.IFO");
    const std::string ifo = work.file("VTS_01_0.IFO");
    const std::string out = work.file("out.txt");
    std::map<std::string, size_t> outcomes;
    double slowest = 0;

    for (size_t run = 0; run < runs; ++run) {
        const uint32_t seed = firstSeed + static_cast<uint32_t>(run);
        Mutator mutate(seed);
        const std::string& source = fixtures[seed % fixtures.size()];
        std::string what;
        WriteFile(ifo, mutate(ReadFile(source), &what));
        const bool report = seed % 2 == 0;
        SCOPED_TRACE("seed " + std::to_string(seed) + " on " + source + ":" + what);
        fs::remove(out);

        const auto start = std::chrono::steady_clock::now();
        const ProcessResult r = app.run({ifo, out, report ? "x" : "-p1"}, work.path().string());
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        slowest = std::max(slowest, seconds);

        EXPECT_EQ(r.exitCode, 0) << r.err;  // -1: ended by a signal
        EXPECT_TRUE(r.err.empty() || IsOpenFailureLine(r.err, ifo)) << r.err;
        EXPECT_LT(seconds, 1.0);
        const std::string text = fs::exists(out) ? ReadFile(out) : "<no output file>";
        EXPECT_TRUE(AllLinesEndInCrLf(text)) << text.substr(0, 200);
        if (report) {
            EXPECT_EQ(IsFailedOpenReport(text, ifo), !r.err.empty()) << r.err;
            if (IsFailedOpenReport(text, ifo)) {
                ++outcomes["report: error opening file"];
            } else {
                EXPECT_EQ(text.rfind("Opening IFO file " + ifo + " OK.\r\n", 0), 0u) << text.substr(0, 200);
                ++outcomes["report: opened"];
            }
        } else {
            EXPECT_EQ(text.rfind("head\r\n\r\n", 0), 0u) << text.substr(0, 200);
            ++outcomes[text == "head\r\n\r\n" ? "-p1: no chapters" : "-p1: chapters"];
        }
        if (HasFailure()) {
            // Keep the input for a regression case.
            const std::string kept = BinaryPath("mutation-seed-" + std::to_string(seed) + ".IFO");
            fs::copy_file(ifo, kept, fs::copy_options::overwrite_existing);
            ADD_FAILURE() << "input kept as " << kept;
            return;
        }
    }
    for (const auto& [what, n] : outcomes)
        std::printf("  %-28s %zu\n", what.c_str(), n);
    std::printf("  %zu runs, slowest %.3f s\n", runs, slowest);
}

// The IFO inputs the fuzzer stopped on, through the executable: the report
// with its error line (or the title set, where our checks let it through),
// exit code 0, and one line on standard error exactly when the file did not
// open.
TEST(BatchMalformed, KeptIfoFindingsGiveTheReport)
{
    ExecutableCopy app;
    TempDir work;
    size_t cases = 0;
    for (const auto& e : fs::directory_iterator(fs::path(PELVANO_CASES_DIR) / "ifo")) {
        SCOPED_TRACE(e.path().string());
        const std::string ifo = work.file("VTS_01_0.IFO");
        const std::string out = work.file("report.txt");
        fs::copy_file(e.path(), ifo, fs::copy_options::overwrite_existing);
        const ProcessResult r = app.run({ifo, out, "x"}, work.path().string());
        EXPECT_EQ(r.exitCode, 0);
        const std::string text = ReadFile(out);
        EXPECT_EQ(!r.err.empty(), IsFailedOpenReport(text, ifo)) << r.err;
        EXPECT_TRUE(r.err.empty() || IsOpenFailureLine(r.err, ifo)) << r.err;
        EXPECT_TRUE(IsFailedOpenReport(text, ifo) ||
                    text.rfind("Opening IFO file " + ifo + " OK.\r\n", 0) == 0)
            << text.substr(0, 200);
        ++cases;
    }
    EXPECT_GT(cases, 0u);
}

}  // namespace
}  // namespace pelvano::test
