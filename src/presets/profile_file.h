#pragma once

#include <string>
#include <vector>

namespace pelvano {

// An INI file read and written with the rules of the classic profile-file
// functions: section and key names without regard to case, blanks trimmed,
// one pair of matching quotes stripped, values cut to 2047 characters,
// in-place replacement, other lines left as they are, CR LF line ends.
class ProfileFile {
public:
    static constexpr size_t kMaxValue = 2047;

    ProfileFile() = default;
    // Reads `path`; a missing or unreadable file gives an empty document.
    static ProfileFile Load(const std::string& path);
    static ProfileFile Parse(const std::string& contents);

    std::string read(const std::string& section, const std::string& key,
                     const std::string& fallback) const;
    void write(const std::string& section, const std::string& key, const std::string& value);

    std::string contents() const;  // lines joined with CR LF
    // Replaces the file at `path` as a whole (temporary file, then rename);
    // throws Error("Unable to write to %s") on failure.
    void save(const std::string& path) const;

private:
    std::vector<std::string> lines_;
};

}  // namespace pelvano
