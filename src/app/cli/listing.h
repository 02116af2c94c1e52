#pragma once

#include <string>

#include "chapters/source.h"

namespace pelvano::cli {

// One line per title set and one per program chain; '*' marks the default
// title set and, in each title set, the program chain a load picks. A
// Blu-ray source: one line per playlist, '*' on the default; playlists that
// repeat another's play items or last under 10 s only with `all` (the
// default always).
std::string ListingText(const Source& source, bool all = false);

// One JSON object on one line: source (the path as given), title_sets with
// their rate (frame_rate the window's text, fps a number) and pgcs, and
// default. A Blu-ray source: source, playlists (number, length_ms,
// chapters, items, angles, fps) as the text lists them, default.playlist.
std::string ListingJson(const Source& source, bool all = false);

// `text` as a JSON string, quotes included. Bytes that are not UTF-8 become
// U+FFFD, so the result is always valid JSON.
std::string JsonString(const std::string& text);

}  // namespace pelvano::cli
