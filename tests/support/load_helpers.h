#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chapters/report.h"
#include "chapters/title_loader.h"
#include "ifo_writer.h"
#include "test_util.h"

namespace pelvano::test {

inline std::string WriteImage(const TempDir& dir, const IfoImage& image,
                              const std::string& name = "VTS_01_0.IFO")
{
    const std::string path = dir.file(name);
    image.writeTo(path);
    return path;
}

// A title load of an IFO file, as the three-argument form makes it.
inline LoadResult Load(const std::string& path, const LoadRequest& request = {})
{
    const SourceOpening opening = OpenForLoad(path, true);
    return opening.source ? LoadTitle(*opening.source, opening.source->defaultTitleSet(), request)
                          : opening.failure;
}
inline LoadResult Load(const std::string& path, bool newFile, int currentTitle = -1,
                       bool fixLastChapter = true)
{
    return Load(path, LoadRequest{newFile, currentTitle, fixLastChapter});
}

// A report line with its style: "<b>" bold, "<red>" red, nothing for normal.
inline std::string N(const std::string& text)
{
    return text;
}
inline std::string B(const std::string& text)
{
    return "<b>" + text;
}
inline std::string R(const std::string& text)
{
    return "<red>" + text;
}

// Line for line, with styles.
inline void ExpectReport(const Report& report, const std::vector<std::string>& want)
{
    std::vector<std::string> got;
    for (const ReportLine& l : report.lines())
        got.push_back((l.style == LineStyle::Bold  ? "<b>"
                       : l.style == LineStyle::Red ? "<red>"
                                                   : "") +
                      l.text);
    EXPECT_EQ(got, want);
}

// The video block as the report writes it.
inline std::vector<std::string> VideoBlock(const std::string& mpeg, const std::string& tv,
                                           const std::string& aspect, const std::string& display,
                                           const std::string& res, const std::string& letterboxed,
                                           const std::string& mode)
{
    return {B("Video:"),
            " Compression : " + mpeg,
            " TV system   : " + tv + " Hz",
            " Aspect ratio: " + aspect,
            " Display Mode: " + display,
            " Source Res  : " + res,
            " Letterboxed : " + letterboxed,
            " Mode        : " + mode};
}

// The cell table, a row as "check|#|VOB-ID|CELL-ID|Length|Timestamp|Angle|Linked to|Chapter"
// with "x" or " " for the check box.
inline std::vector<std::string> Rows(const std::vector<CellRow>& rows)
{
    std::vector<std::string> out;
    for (const CellRow& r : rows)
        out.push_back(std::string(r.checked ? "x" : " ") + "|" + r.caption + "|" + r.vobId + "|" + r.cellId +
                      "|" + r.length + "|" + r.timestamp + "|" + r.angle + "|" + r.linkedTo + "|" +
                      r.chapter);
    return out;
}

inline std::vector<bool> Checks(const std::vector<CellRow>& rows)
{
    std::vector<bool> out;
    for (const CellRow& r : rows)
        out.push_back(r.checked);
    return out;
}

// The plain report ends with `tail`.
inline void ExpectTail(const Report& report, const std::string& tail)
{
    const std::string plain = report.plainText();
    EXPECT_EQ(plain.substr(plain.size() - std::min(tail.size(), plain.size())), tail);
}

inline std::vector<std::string>& operator+=(std::vector<std::string>& a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace pelvano::test
