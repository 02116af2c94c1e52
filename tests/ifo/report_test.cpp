// The video block of the raw report and the report's plain text.

#include <gtest/gtest.h>

#include "ifo/report.h"
#include "ifo_test_helpers.h"

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

TEST(ReportVideoAttributes, WorkedExamples)
{
    // 0x5D = 01 01 11 01: MPEG-2, PAL, 16:9, display mode 1; byte 1 all clear.
    Report pal;
    ReportVideoAttributes(pal, 0x5D, 0x00);
    ExpectReport(pal, VideoBlock("MPEG-2", "PAL 625/50", "16:9", "pan-scan", "720x576", "no", "Camera"));

    // 0x00: MPEG-1, NTSC, 4:3, mode 0; 0x0F: size 3, letterboxed, film.
    Report ntsc;
    ReportVideoAttributes(ntsc, 0x00, 0x0F);
    ExpectReport(ntsc, VideoBlock("MPEG-1", "NTSC 525/60", "4:3", "pan-scan & letterboxed", "352x240", "yes",
                                  "Film (625/50 only)"));
}

TEST(ReportVideoAttributes, EveryFieldValue)
{
    // Compression: bits 7-6 plus one.
    EXPECT_EQ(VideoLines(0x80, 0)[1], " Compression : MPEG-3");
    EXPECT_EQ(VideoLines(0xC0, 0)[1], " Compression : MPEG-4");
    // Aspect: 1 and 2 are undefined.
    EXPECT_EQ(VideoLines(0x04, 0)[3], " Aspect ratio: undefined");
    EXPECT_EQ(VideoLines(0x08, 0)[3], " Aspect ratio: undefined");
    EXPECT_EQ(VideoLines(0x0C, 0)[3], " Aspect ratio: 16:9");
    // Display modes.
    EXPECT_EQ(VideoLines(0x02, 0)[4], " Display Mode: letterboxed");
    EXPECT_EQ(VideoLines(0x03, 0)[4], " Display Mode: not specified");
    // Source resolution: standard (bits 5-4 of byte 0) x 4 + size (bits 3-2 of byte 1).
    const char* res[8] = {"720x480", "704x480", "352x480", "352x240", "720x576", "704x576", "352x576", "352x288"};
    for (int standard = 0; standard < 2; ++standard)
        for (int size = 0; size < 4; ++size)
            EXPECT_EQ(VideoLines(uint8_t(standard << 4), uint8_t(size << 2))[5],
                      std::string(" Source Res  : ") + res[standard * 4 + size])
                << standard << "/" << size;
    // Letterboxed and film mode are bits 1 and 0 of byte 1, nothing else.
    EXPECT_EQ(VideoLines(0, 0x02)[6], " Letterboxed : yes");
    EXPECT_EQ(VideoLines(0, 0x02)[7], " Mode        : Camera");
    EXPECT_EQ(VideoLines(0, 0x01)[6], " Letterboxed : no");
    EXPECT_EQ(VideoLines(0, 0x01)[7], " Mode        : Film (625/50 only)");
    EXPECT_EQ(VideoLines(0, 0xFC)[6], " Letterboxed : no");
}

TEST(ReportVideoAttributes, StandardsTwoAndThreeReadAsPal)
{
    for (uint8_t b0 : {uint8_t(0x20), uint8_t(0x30), uint8_t(0xFF)}) {
        for (uint8_t b1 : {uint8_t(0x00), uint8_t(0x0C), uint8_t(0xFF)}) {
            const auto lines = VideoLines(b0, b1);
            ASSERT_EQ(lines.size(), 8u);
            EXPECT_EQ(lines[2], " TV system   : PAL 625/50 Hz");
            EXPECT_EQ(lines[5].rfind(" Source Res  : ", 0), 0u);
            EXPECT_GT(lines[5].size(), std::string(" Source Res  : ").size());
        }
    }
}

TEST(Report, PlainTextEndsEveryLineWithCrLfAndKeepsStyles)
{
    Report r;
    EXPECT_EQ(r.plainText(), "");
    r.add("Video:", LineStyle::Bold);
    r.blank();
    r.add("000 -> 001 -> \r\n002");
    r.add("Warning", LineStyle::Red);
    EXPECT_EQ(r.plainText(), "Video:\r\n\r\n000 -> 001 -> \r\n002\r\nWarning\r\n");
    ASSERT_EQ(r.lines().size(), 4u);
    EXPECT_EQ(r.lines()[0].style, LineStyle::Bold);
    EXPECT_EQ(r.lines()[1].style, LineStyle::Normal);
    EXPECT_EQ(r.lines()[3].style, LineStyle::Red);
    r.clear();
    EXPECT_TRUE(r.lines().empty());
    EXPECT_EQ(r.plainText(), "");
}

}  // namespace
}  // namespace pelvano::test
