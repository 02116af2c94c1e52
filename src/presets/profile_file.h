#pragma once

#include <cstddef>
#include <optional>
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
    // A presets file is a few kilobytes; anything this large is not one.
    static constexpr size_t kMaxFileSize = 16 * 1024 * 1024;

    ProfileFile() = default;
    // Reads `path`. A missing file gives an empty document. A file that
    // exists but can't be read (no access, not a regular file, larger than
    // kMaxFileSize) throws Error("Unable to read %s"), so that a caller about
    // to save never replaces what it could not see.
    static ProfileFile Load(const std::string& path);
    // LF and CR LF line ends are both accepted.
    static ProfileFile Parse(const std::string& contents);

    // The first key `key` of the first section `section`; `fallback` when
    // either is missing or the line has no "=". A value is cut at a NUL byte.
    std::string read(const std::string& section, const std::string& key, const std::string& fallback) const;
    // Replaces the value where the key stands, else adds the key after the
    // last line of its section, else adds the section at the end. Line
    // breaks inside `value` are stored as the two characters "\n" and NUL
    // bytes are dropped, so a value can never split into lines of its own.
    void write(const std::string& section, const std::string& key, const std::string& value);

    std::string contents() const;  // every line followed by CR LF
    // Replaces the file at `path` as a whole (temporary file beside it, sync,
    // rename), keeping the old file's permission bits. A read-only file is
    // not replaced. Throws Error("Unable to write to %s") on failure; the
    // old file is then untouched.
    void save(const std::string& path) const;
    // True when Load found a file holding exactly contents(): saving it
    // again would change nothing.
    bool matchesLoadedFile() const { return loaded_ && *loaded_ == contents(); }

private:
    std::vector<std::string> lines_;     // without their line ends
    std::optional<std::string> loaded_;  // the bytes Load read
};

}  // namespace pelvano
