#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pelvano::fuzz {

[[noreturn]] void CheckFailed(const char* what, const char* file, int line, const std::string& detail);

// Like assert, but never compiled out and with a clear message.
#define FUZZ_CHECK(cond) FUZZ_CHECK_MSG(cond, std::string())
#define FUZZ_CHECK_MSG(cond, detail)                                                                         \
    do {                                                                                                     \
        if (!(cond))                                                                                         \
            ::pelvano::fuzz::CheckFailed(#cond, __FILE__, __LINE__, (detail));                               \
    } while (0)

// A private folder for the files an input is written to, made once per
// process under $TMPDIR and removed at exit.
std::string ScratchFile(const std::string& name);

void WriteBytes(const std::string& path, const uint8_t* data, size_t size);
void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);
// Entries of the scratch folder, for checks that nothing was left behind.
size_t ScratchEntryCount();

std::vector<std::string> SplitFields(const uint8_t* data, size_t size, char separator);

// Bytes taken from the front of a buffer; zeros once it runs dry.
class ByteSource {
public:
    explicit ByteSource(const std::string& bytes) : bytes_(bytes) {}
    uint8_t u8();
    uint16_t u16();
    uint32_t u32();
    bool empty() const { return pos_ >= bytes_.size(); }

private:
    const std::string& bytes_;
    size_t pos_ = 0;
};

// Every occurrence of `from` replaced by `to`, left to right without
// overlaps: the textbook replace-all the format rules are written in.
std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to);

}  // namespace pelvano::fuzz
