#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ifo/report.h"
#include "ifo/title_loader.h"
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

inline LoadResult Load(const std::string& path, bool newFile = true, int currentTitle = -1,
                       bool fixLastChapter = true)
{
    LoadRequest request;
    request.ifoPath = path;
    request.newFile = newFile;
    request.currentTitle = currentTitle;
    request.fixLastChapter = fixLastChapter;
    return LoadTitle(request);
}

struct Line {
    std::string text;
    LineStyle style = LineStyle::Normal;
};
inline Line N(std::string text) { return {std::move(text), LineStyle::Normal}; }
inline Line B(std::string text) { return {std::move(text), LineStyle::Bold}; }
inline Line R(std::string text) { return {std::move(text), LineStyle::Red}; }

inline const char* StyleName(LineStyle s)
{
    return s == LineStyle::Bold ? "bold" : s == LineStyle::Red ? "red" : "normal";
}

// Line for line: text and style, then the plain text with CR LF.
inline void ExpectReport(const Report& report, const std::vector<Line>& want)
{
    const auto& got = report.lines();
    for (size_t i = 0; i < std::max(got.size(), want.size()); ++i) {
        if (i >= got.size()) {
            ADD_FAILURE() << "line " << i << " missing: \"" << want[i].text << "\"";
            continue;
        }
        if (i >= want.size()) {
            ADD_FAILURE() << "extra line " << i << ": \"" << got[i].text << "\"";
            continue;
        }
        EXPECT_EQ(got[i].text, want[i].text) << "line " << i;
        EXPECT_STREQ(StyleName(got[i].style), StyleName(want[i].style)) << "line " << i << ": " << want[i].text;
    }
    std::string plain;
    for (const Line& l : want)
        plain += l.text + "\r\n";
    EXPECT_EQ(report.plainText(), plain);
}

// One column of the cell table.
template <typename Member>
std::vector<std::string> Column(const std::vector<CellRow>& rows, Member member)
{
    std::vector<std::string> out;
    for (const CellRow& r : rows)
        out.push_back(r.*member);
    return out;
}

inline std::vector<bool> Checks(const std::vector<CellRow>& rows)
{
    std::vector<bool> out;
    for (const CellRow& r : rows)
        out.push_back(r.checked);
    return out;
}

// The video block for bytes worked out by hand in the tests.
inline std::vector<Line> VideoBlock(const char* mpeg, const char* tv, const char* aspect, const char* display,
                                    const char* res, const char* letterboxed, const char* mode)
{
    return {B("Video:"),
            N(std::string(" Compression : ") + mpeg),
            N(std::string(" TV system   : ") + tv + " Hz"),
            N(std::string(" Aspect ratio: ") + aspect),
            N(std::string(" Display Mode: ") + display),
            N(std::string(" Source Res  : ") + res),
            N(std::string(" Letterboxed : ") + letterboxed),
            N(std::string(" Mode        : ") + mode)};
}

inline std::vector<Line>& operator+=(std::vector<Line>& a, const std::vector<Line>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace pelvano::test
