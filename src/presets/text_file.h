#pragma once

#include <string>

namespace pelvano {

// Lone LF -> CR LF (CR LF stays as it is).
std::string ToCrLf(const std::string& text);

// Creates or truncates `path` and writes `bytes` as they are. Throws
// Error("Cannot create file %s") when the file can't be created and
// Error("Stream write error") when writing fails part way.
void WriteTextFile(const std::string& path, const std::string& bytes);

}  // namespace pelvano
