#include "test_util.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace pelvano::test {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "pelvano-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string FixturePath(const std::string& relative) { return std::string(PELVANO_FIXTURES_DIR) + "/" + relative; }
std::string ExamplePath(const std::string& relative) { return std::string(PELVANO_EXAMPLES_DIR) + "/" + relative; }
std::string BinaryPath(const std::string& relative) { return std::string(PELVANO_BINARY_DIR) + "/" + relative; }

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

}  // namespace pelvano::test
