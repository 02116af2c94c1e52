#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace pelvano::fuzz {

namespace fs = std::filesystem;

void CheckFailed(const char* what, const char* file, int line, const std::string& detail)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    if (!detail.empty())
        std::fprintf(stderr, "  %s\n", detail.c_str());
    std::abort();
}

namespace {

class Scratch {
public:
    Scratch()
    {
        std::error_code ec;
        std::string pattern = (fs::temp_directory_path(ec) / "pelvano-fuzz-XXXXXX").string();
        if (ec || !mkdtemp(pattern.data()))
            CheckFailed("scratch folder", __FILE__, __LINE__, "mkdtemp failed");
        dir_ = pattern;
    }
    ~Scratch()
    {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    const fs::path& dir() const { return dir_; }

private:
    fs::path dir_;
};

Scratch& TheScratch()
{
    static Scratch scratch;
    return scratch;
}

}  // namespace

std::string ScratchFile(const std::string& name)
{
    return (TheScratch().dir() / name).string();
}

size_t ScratchEntryCount()
{
    std::error_code ec;
    size_t n = 0;
    for (auto it = fs::directory_iterator(TheScratch().dir(), ec); !ec && it != fs::directory_iterator();
         it.increment(ec))
        ++n;
    return n;
}

void WriteBytes(const std::string& path, const uint8_t* data, size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    FUZZ_CHECK_MSG(out.good(), "cannot write " + path);
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    WriteBytes(path, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    FUZZ_CHECK_MSG(in.good(), "cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> SplitFields(const uint8_t* data, size_t size, char separator)
{
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == separator)
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

uint8_t ByteSource::u8()
{
    return pos_ < bytes_.size() ? static_cast<uint8_t>(bytes_[pos_++]) : 0;
}

uint16_t ByteSource::u16()
{
    const uint16_t hi = u8();
    return static_cast<uint16_t>(hi << 8 | u8());
}

uint32_t ByteSource::u32()
{
    const uint32_t hi = u16();
    return hi << 16 | u16();
}

std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to)
{
    std::string out;
    size_t i = 0;
    for (size_t hit; (hit = text.find(from, i)) != std::string::npos; i = hit + from.size()) {
        out.append(text, i, hit - i);
        out += to;
    }
    out.append(text, i, std::string::npos);
    return out;
}

}  // namespace pelvano::fuzz
