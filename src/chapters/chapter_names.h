#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelvano {

// Chapter names as users write them down, for the %n and %nx placeholders.
// The file is UTF-8 text, either one name per line in chapter order (an
// empty line keeps the name template's name) or a simple chapter file as
// preset 1 writes it, whose CHAPTERnnNAME= lines give the names back (a file
// whose first line that is not empty begins "CHAPTERnn=" or
// "CHAPTERnnNAME="). A byte order mark is skipped, CR LF reads as LF.
//
// Names stay the file's UTF-8 bytes: they are not converted to the locale's
// 8-bit encoding, because the formats that carry names (Matroska XML,
// WebVTT, ffmpeg metadata, mkvmerge's simple chapters under a UTF-8 locale)
// want UTF-8 whatever the locale is.

// Far more than the names of the longest title; a larger file is not one.
inline constexpr size_t kMaxChapterNamesFileSize = 1024 * 1024;

// The names of chapters 1, 2, ...; "" keeps the template's name. Trailing
// empty names are dropped. Throws Error("line N: ...") for text that holds
// no names: bytes that are not UTF-8, control characters other than tab,
// and in a chapter file a line of another kind or a chapter named twice.
std::vector<std::string> ParseChapterNames(std::string_view bytes);

// ParseChapterNames of the file at `path`; Error("path: ...") when it can't
// be read or parsed.
std::vector<std::string> ReadChapterNames(const std::string& path);

// The file that reads back as `names`: one per line, LF line ends. Where
// its first name would make the file read as a chapter file, it is one;
// where it begins with a byte order mark, the file begins with another.
std::string ChapterNamesText(const std::vector<std::string>& names);

// The one line that says names past the last chapter are left out; nothing
// when there are no more names than chapters.
std::optional<std::string> ExtraNamesWarning(const std::string& source, size_t names, size_t chapters);

}  // namespace pelvano
