#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace pelvano {

// Messages for a write that fails part way: the chapter list and the raw
// report each have their own.
inline constexpr const char* kStreamWriteError = "Stream write error";
inline constexpr const char* kFailedToSaveStream = "Failed to Save Stream";

// Lone LF -> CR LF (CR LF stays as it is).
std::string ToCrLf(const std::string& text);

// Writes `bytes` to `path` as they are, with no header. A regular file is
// replaced whole (temporary file beside it, rename), so a failure leaves the
// previous file exactly as it was; a device, pipe or terminal is written
// where it stands. Throws Error("Cannot create file %s") when nothing could
// be created or opened, and Error(partWayMessage) when writing or closing
// fails after that: a failure is never reported as success.
void WriteTextFile(const std::string& path, const std::string& bytes,
                   const std::string& partWayMessage = kStreamWriteError);

// Throws Error naming both when `output` is one of `inputs` (the files a
// source was read from), by whatever name or link it is reached: writing
// over the file being read is never wanted. A name not there yet is none.
void RefuseWritingOverInput(const std::string& output, const std::vector<std::string>& inputs);

// The bytes of the regular file at `path`, read whole; nothing when there
// is no such file. Throws Error(path, reason) when it can't be read, is no
// regular file (a FIFO must not hang the reader) or holds more than
// `maxSize` bytes, also when it grows past that while being read.
std::optional<std::string> ReadTextFile(const std::string& path, size_t maxSize);

}  // namespace pelvano
