#include "chapters/report.h"

#include <array>

#include "base/format.h"

namespace pelvano {

void Report::add(std::string text, LineStyle style)
{
    lines_.push_back(ReportLine{std::move(text), style});
}

std::string Report::plainText() const
{
    std::string out;
    for (const ReportLine& line : lines_) {
        out += line.text;
        out += "\r\n";
    }
    return out;
}

void ReportVideoAttributes(Report& report, uint8_t byte0, uint8_t byte1)
{
    static constexpr std::array<const char*, 4> kDisplayModes = {"pan-scan & letterboxed", "pan-scan",
                                                                 "letterboxed", "not specified"};
    static constexpr std::array<const char*, 8> kResolutions = {"720x480", "704x480", "352x480", "352x240",
                                                                "720x576", "704x576", "352x576", "352x288"};

    const unsigned standard = (byte0 >> 4) & 3;
    const bool pal = standard != 0;
    report.add("Video:", LineStyle::Bold);
    report.add(Format(" Compression : MPEG-%d", ((byte0 >> 6) & 3) + 1));
    report.add(Format(" TV system   : %s Hz", pal ? "PAL 625/50" : "NTSC 525/60"));
    switch ((byte0 >> 2) & 3) {
    case 0:
        report.add(" Aspect ratio: 4:3");
        break;
    case 3:
        report.add(" Aspect ratio: 16:9");
        break;
    default:
        report.add(" Aspect ratio: undefined");
        break;
    }
    report.add(std::string(" Display Mode: ") + kDisplayModes[byte0 & 3]);
    // Standards 2 and 3 do not exist; like the TV system line, read them as PAL.
    report.add(std::string(" Source Res  : ") + kResolutions[(pal ? 4 : 0) + ((byte1 >> 2) & 3)]);
    report.add(std::string(" Letterboxed : ") + ((byte1 & 0x02) ? "yes" : "no"));
    report.add(std::string(" Mode        : ") + ((byte1 & 0x01) ? "Film (625/50 only)" : "Camera"));
}

}  // namespace pelvano
