#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pelvano {

enum class LineStyle { Normal, Bold, Red };

struct ReportLine {
    std::string text;  // may hold CR LF inside (the link lines)
    LineStyle style = LineStyle::Normal;
};

// The raw title report, as styled lines.
class Report {
public:
    void add(std::string text, LineStyle style = LineStyle::Normal);
    void blank() { add(std::string()); }

    const std::vector<ReportLine>& lines() const { return lines_; }
    // Plain text: every line followed by CR LF.
    std::string plainText() const;

private:
    std::vector<ReportLine> lines_;
};

// The video block from the two video attribute bytes.
void ReportVideoAttributes(Report& report, uint8_t byte0, uint8_t byte1);

}  // namespace pelvano
