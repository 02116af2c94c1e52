#pragma once

// One entry per fuzz target. Each runs an input through the program's own
// operations and checks what must hold for any input; a broken rule aborts
// with a message, as a sanitizer finding would. The fuzz targets and the
// regression tests call the same functions, so a kept input replays the
// exact path that found it.

#include <cstddef>
#include <cstdint>

namespace pelvano::fuzz {

// The bytes through the title-set and title-table parsers, then as a file
// named VTS_01_0.IFO: title loading (longest PGC and one other), the
// report, the chapter model operations and a rendering.
void IfoInput(const uint8_t* data, size_t size);

// Fields split at kSeparator: the presets file as it stands, then (section,
// key, value) triples to write. Checks the profile-file rules in memory and
// through a real file, and the preset store over the same file.
void ProfileInput(const uint8_t* data, size_t size);

// Fields split at kSeparator: chapter model bytes, format line, header,
// frame rate, frame offset, millisecond offset, key frames, footer. Checks the
// rendering against the substitution rules.
void FormatInput(const uint8_t* data, size_t size);

// The bytes as an AVI file: the frame rate and the key frames.
void AviInput(const uint8_t* data, size_t size);

// The first byte picks Matroska (even) or MP4 (odd), the rest is the file:
// the key frames in display order and the frame rate.
void MediaInput(const uint8_t* data, size_t size);

// A disc image in sparse form (records: offset u32 BE, length u16 BE, the
// bytes; zeros elsewhere) as an image file: opened as a source, listed, and
// its default and last title sets loaded.
void DiscInput(const uint8_t* data, size_t size);

// The bytes as a Blu-ray playlist: the model and the chapter times.
void MplsInput(const uint8_t* data, size_t size);
// The bytes as a chapter names file: parsed, read as a file, saved and read
// back.
void NamesInput(const uint8_t* data, size_t size);

// Field separator of the structured inputs (ASCII record separator).
inline constexpr char kSeparator = '\x1e';

}  // namespace pelvano::fuzz
