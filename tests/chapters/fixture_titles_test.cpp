// Real title sets authored with dvdauthor, loaded and compared with what
// lsdvd (-x -Oy) and dvdxchap recorded for them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "ifo/title_set.h"
#include "load_helpers.h"

namespace pelvano::test {
namespace {

// lsdvd's Python literal: dicts, lists, quoted strings and numbers.
struct Py {
    double number = 0;
    std::string text;
    std::vector<Py> items;
    std::vector<std::pair<std::string, Py>> keys;

    const Py* find(const std::string& key) const
    {
        const auto it =
            std::find_if(keys.begin(), keys.end(), [&](const auto& kv) { return kv.first == key; });
        return it == keys.end() ? nullptr : &it->second;
    }
    const Py& operator[](const std::string& key) const
    {
        const Py* v = find(key);
        return v ? *v : throw std::runtime_error("no key " + key);
    }
    int integer() const { return static_cast<int>(std::lround(number)); }
    uint32_t ms() const
    {
        return static_cast<uint32_t>(std::lround(number * 1000.0));
    }  // seconds, 3 decimals
};

Py ParsePy(const std::string& s, size_t& i)
{
    // Commas and colons carry nothing a reader of well-formed output needs.
    const auto skip = [&] {
        while (i < s.size() && (std::isspace(static_cast<unsigned char>(s[i])) || s[i] == ',' || s[i] == ':'))
            ++i;
    };
    const auto quoted = [&] {
        std::string out;
        for (++i; i < s.size() && s[i] != '\''; ++i)
            out += s[i] == '\\' ? s[++i] : s[i];
        ++i;
        return out;
    };
    skip();
    if (i >= s.size())
        throw std::runtime_error("unexpected end");
    Py v;
    if (s[i] == '\'') {
        v.text = quoted();
    } else if (s[i] == '{' || s[i] == '[') {
        const bool dict = s[i++] == '{';
        for (skip(); i < s.size() && s[i] != (dict ? '}' : ']'); skip()) {
            if (dict) {
                std::string key = quoted();
                v.keys.emplace_back(std::move(key), ParsePy(s, i));
            } else {
                v.items.push_back(ParsePy(s, i));
            }
        }
        ++i;
    } else {
        size_t used = 0;
        v.number = std::stod(s.substr(i, 32), &used);
        i += used;
    }
    return v;
}

struct TitleSet {
    std::string name, dir;
};
void PrintTo(const TitleSet& t, std::ostream* os)
{
    *os << t.name;
}

class FixtureTitles : public testing::TestWithParam<TitleSet> {
protected:
    void SetUp() override
    {
        path_ = GetParam().dir + "VTS_01_0.IFO";
        ASSERT_TRUE(std::filesystem::exists(path_)) << path_;
        const std::string text = ReadFile(GetParam().dir + "lsdvd.txt");
        size_t i = text.find('=') + 1;
        lsdvd_ = ParsePy(text, i);
    }

    std::string path_;
    Py lsdvd_;
};

TEST_P(FixtureTitles, CellsAndChaptersAgreeWithLsdvdAndDvdxchap)
{
    const auto& tracks = lsdvd_["track"].items;
    ASSERT_FALSE(tracks.empty());
    for (const Py& track : tracks) {
        const int ix = track["ix"].integer();
        const int pgc = track["ttn"].integer() - 1;  // one PGC per title, in order
        SCOPED_TRACE("title " + std::to_string(ix) + " = PGC " + std::to_string(pgc));
        ASSERT_EQ(track["vts"].integer(), 1);

        const LoadResult res = Load(path_, false, pgc);
        ASSERT_TRUE(res.model.has_value()) << res.report.plainText();
        EXPECT_EQ(res.titles->size(), tracks.size());
        EXPECT_EQ(res.frameRate, track["format"].text == "PAL" ? "25000" : "29970");
        const TitleModel& m = *res.model;

        // Cells: each length and start.
        const auto& cells = track["cell"].items;
        ASSERT_EQ(m.cellLengthsMs.size(), cells.size());
        uint32_t sum = 0;
        for (size_t c = 0; c < cells.size(); ++c) {
            EXPECT_EQ(m.cellLengthsMs[c], cells[c]["length"].ms()) << "cell " << c;
            EXPECT_EQ(m.cellStartsMs[c], sum) << "cell " << c;
            sum += cells[c]["length"].ms();
        }
        EXPECT_EQ(m.cellStartsMs.back(), sum);
        EXPECT_NEAR(double(sum), double(track["length"].ms()), double(cells.size()));

        // Chapters: first cells and start times from lsdvd; the last-chapter
        // rule applied to lsdvd's own length of that first cell.
        const auto& chapters = track["chapter"].items;
        ASSERT_EQ(m.chapterStarts.size(), chapters.size());
        uint32_t start = 0;
        for (size_t k = 0; k < chapters.size(); ++k) {
            EXPECT_EQ(m.chapterStarts[k], uint32_t(chapters[k]["startcell"].integer())) << "chapter " << k;
            EXPECT_EQ(m.chapterStartMs(k), start) << "chapter " << k;
            start += chapters[k]["length"].ms();
        }
        const int lastFirst = chapters.back()["startcell"].integer();
        const bool dropped = cells[size_t(lastFirst - 1)]["length"].ms() < 5000;
        EXPECT_EQ(m.chapterCount, chapters.size() - (dropped ? 1 : 0));
        EXPECT_EQ(res.report.plainText().find("Warning ! Last chapter") != std::string::npos, dropped);
        for (size_t c = 0; c < res.rows.size(); ++c) {
            const bool starts =
                std::count(m.chapterStarts.begin(), m.chapterStarts.begin() + m.chapterCount, c + 1);
            EXPECT_EQ(res.rows[c].checked, starts) << "row " << c;
        }

        // dvdxchap lists every chapter, the dropped one too.
        const std::vector<uint32_t> xchap =
            DvdxchapTimes(GetParam().dir + "dvdxchap_t" + std::to_string(ix) + ".txt");
        ASSERT_EQ(xchap.size(), chapters.size());
        for (size_t k = 0; k < xchap.size(); ++k) {
            EXPECT_EQ(m.chapterStartMs(k), xchap[k]) << "chapter " << k;
            const std::string line = "Chapter " + std::to_string(k + 1) + " = " + FormatMsTime(xchap[k]);
            EXPECT_NE(res.report.plainText().find("\r\n" + line + "\r\n"), std::string::npos) << line;
        }
    }
}

TEST_P(FixtureTitles, LongestPgcIsLsdvdsLongestTrack)
{
    const int longest = lsdvd_["longest_track"].integer();
    const auto& tracks = lsdvd_["track"].items;
    const auto track =
        std::find_if(tracks.begin(), tracks.end(), [&](const Py& t) { return t["ix"].integer() == longest; });
    ASSERT_NE(track, tracks.end());
    EXPECT_EQ(Load(path_).selectedTitle, (*track)["ttn"].integer() - 1);
}

TEST_P(FixtureTitles, VideoAndStreamsAgreeWithLsdvd)
{
    const Py& track = lsdvd_["track"].items.at(0);
    const std::string plain = Load(path_).report.plainText();
    std::string aspect = track["aspect"].text;  // "16/9"
    std::replace(aspect.begin(), aspect.end(), '/', ':');
    for (const std::string& line :
         {" TV system   : " + std::string(track["format"].text == "PAL" ? "PAL 625/50" : "NTSC 525/60") +
              " Hz",
          " Aspect ratio: " + aspect,
          " Source Res  : " + std::to_string(track["width"].integer()) + "x" +
              std::to_string(track["height"].integer())})
        EXPECT_NE(plain.find("\r\n" + line + "\r\n"), std::string::npos) << line;

    const pelvano::TitleSet set = ParseTitleSet(ReadFile(path_));
    const auto& audio = track["audio"].items;
    ASSERT_EQ(set.audio.size(), audio.size());
    for (size_t i = 0; i < audio.size(); ++i) {
        const std::string& d = set.audio[i];
        const std::string format = audio[i]["format"].text;
        if (const Py* lang = audio[i].find("langcode")) {
            EXPECT_NE(d.find(lang->text), std::string::npos) << d;
        }
        EXPECT_NE(d.find(format == "ac3"     ? "AC-3"
                         : format == "mpeg1" ? "MPEG-1"
                                             : ""),
                  std::string::npos)
            << d;
        EXPECT_NE(d.find(std::to_string(audio[i]["channels"].integer()) + " ch"), std::string::npos) << d;
        EXPECT_NE(d.find(std::to_string(audio[i]["frequency"].integer() / 1000) + " kHz"), std::string::npos)
            << d;
        EXPECT_NE(plain.find("\r\n  " + std::to_string(i) + ". " + d + "\r\n"), std::string::npos) << d;
    }
    const auto& subs = track["subp"].items;
    ASSERT_EQ(set.subPictures.size(), subs.size());
    for (size_t i = 0; i < subs.size(); ++i)
        if (const Py* lang = subs[i].find("langcode")) {
            EXPECT_NE(set.subPictures[i].find(lang->text), std::string::npos);
        }
    EXPECT_EQ(plain.find("SubPicture:") != std::string::npos, !subs.empty());
}

std::vector<TitleSet> AllTitleSets()
{
    std::vector<TitleSet> out = {{"sample", ExamplePath("")}};
    for (const char* n : {"ntsc", "one_chapter", "many_chapters", "no_subs", "short_last"})
        out.push_back({n, FixturePath(std::string("dvd/") + n + "/")});
    return out;
}

INSTANTIATE_TEST_SUITE_P(Dvdauthor, FixtureTitles, testing::ValuesIn(AllTitleSets()),
                         [](const testing::TestParamInfo<TitleSet>& info) { return info.param.name; });

// 25 programs: ten row numbers to a line, each full line ending in " -> ".
TEST(FixtureTitlesMany, TwentyFiveProgramsGiveThreeLinkLines)
{
    const LoadResult res = Load(FixturePath("dvd/many_chapters/VTS_01_0.IFO"), false, 1);
    const std::string links = "000 -> 001 -> 002 -> 003 -> 004 -> 006 -> 007 -> 008 -> 009 -> 010 -> \r\n"
                              "012 -> 013 -> 014 -> 015 -> 016 -> 018 -> 019 -> 020 -> 021 -> 022 -> \r\n"
                              "024 -> 025 -> 026 -> 027 -> 028\r\n";
    EXPECT_NE(res.report.plainText().find("\r\nCells links :\r\n" + links + "\r\n"), std::string::npos)
        << res.report.plainText();
}

}  // namespace
}  // namespace pelvano::test
