// The video block of the raw report. The two worked examples (0x5D/0x00 and
// 0x00/0x0F) are pinned line for line by the title-loading tests.

#include <gtest/gtest.h>

#include "chapters/report.h"
#include "load_helpers.h"

namespace pelvano::test {
namespace {

std::vector<std::string> VideoLines(uint8_t b0, uint8_t b1)
{
    Report r;
    ReportVideoAttributes(r, b0, b1);
    std::vector<std::string> out;
    for (const ReportLine& l : r.lines())
        out.push_back(l.text);
    return out;
}

TEST(ReportVideoAttributes, EveryFieldValue)
{
    // {byte 0, byte 1, line index, text}
    const std::tuple<uint8_t, uint8_t, size_t, const char*> cases[] = {
        {0xC0, 0, 1, " Compression : MPEG-4"},     // bits 7-6 plus one
        {0x04, 0, 3, " Aspect ratio: undefined"},  // 1 and 2
        {0x0C, 0, 3, " Aspect ratio: 16:9"},
        {0x02, 0, 4, " Display Mode: letterboxed"},
        {0x03, 0, 4, " Display Mode: not specified"},
        // Source resolution: standard (bits 5-4 of byte 0) x 4 + size (bits 3-2 of byte 1).
        {0x00, 0x04, 5, " Source Res  : 704x480"},
        {0x10, 0x00, 5, " Source Res  : 720x576"},
        {0x10, 0x0C, 5, " Source Res  : 352x288"},
        // Letterboxed and film mode are bits 1 and 0 of byte 1, nothing else.
        {0, 0x02, 7, " Mode        : Camera"},
        {0, 0x01, 6, " Letterboxed : no"},
        {0, 0xFC, 6, " Letterboxed : no"},
    };
    for (const auto& [b0, b1, line, text] : cases)
        EXPECT_EQ(VideoLines(b0, b1).at(line), text) << int(b0) << "/" << int(b1);
}

// Standards 2 and 3 have no row in the resolution table; like the TV system
// line, they read as PAL.
TEST(ReportVideoAttributes, StandardsTwoAndThreeReadAsPal)
{
    EXPECT_EQ(VideoLines(0x20, 0x00)[2], " TV system   : PAL 625/50 Hz");
    EXPECT_EQ(VideoLines(0x20, 0x00)[5], " Source Res  : 720x576");
    EXPECT_EQ(VideoLines(0xFF, 0xFF)[5], " Source Res  : 352x288");
}

}  // namespace
}  // namespace pelvano::test
