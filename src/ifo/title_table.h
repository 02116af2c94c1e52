#pragma once

#include <string_view>
#include <vector>

namespace pelvano {

// A title as the disc numbers it (lsdvd's "Title: 03", dvdxchap -t 3): an
// entry of the title table in VIDEO_TS.IFO. The numbers are as on the disc,
// not checked against the title sets.
struct DiscTitle {
    int number = 0;      // 1-based position in the table
    int titleSet = 0;    // the VTS_nn_0.IFO it lives in
    int titleInSet = 0;  // 1-based index into that title set's TitleSet::titleParts
    int angles = 0;
    int parts = 0;  // chapters
    bool operator==(const DiscTitle&) const = default;
};

// The titles of a video manager's bytes (VIDEO_TS.IFO). Throws
// pelvano::Error when they are no video manager or the table does not lie
// inside them (CheckTitleTable's reason). Reads nothing but `bytes`.
std::vector<DiscTitle> ParseTitleTable(std::string_view videoManagerBytes);

}  // namespace pelvano
