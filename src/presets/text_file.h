#pragma once

#include <string>

namespace pelvano {

// Messages for a write that fails part way: the chapter list and the raw
// report each have their own.
inline constexpr const char* kStreamWriteError = "Stream write error";
inline constexpr const char* kFailedToSaveStream = "Failed to Save Stream";

// Lone LF -> CR LF (CR LF stays as it is).
std::string ToCrLf(const std::string& text);

// Creates or truncates `path` and writes `bytes` as they are, with no
// header. Throws Error("Cannot create file %s") when the file can't be
// created or opened (nothing is written), and Error(partWayMessage) when
// writing, syncing or closing fails after that; the file may then be
// incomplete, but a failure is never reported as success.
void WriteTextFile(const std::string& path, const std::string& bytes,
                   const std::string& partWayMessage = kStreamWriteError);

}  // namespace pelvano
