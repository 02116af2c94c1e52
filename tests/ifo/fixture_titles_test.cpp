// Real title sets authored with dvdauthor, loaded and compared with what
// lsdvd (-x -Oy) and dvdxchap recorded for them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>

#include "ifo/ifo_reader.h"
#include "ifo_test_helpers.h"

namespace pelvano::test {
namespace {

// ---- lsdvd's python-literal output --------------------------------------

struct PyValue {
    enum class Kind { Number, String, List, Dict } kind = Kind::Number;
    double number = 0;
    std::string string;
    std::vector<PyValue> items;                          // list
    std::vector<std::pair<std::string, PyValue>> keys;  // dict, in order

    const PyValue& operator[](const std::string& key) const
    {
        for (const auto& [k, v] : keys)
            if (k == key)
                return v;
        throw std::runtime_error("no key " + key);
    }
    bool has(const std::string& key) const
    {
        for (const auto& kv : keys)
            if (kv.first == key)
                return true;
        return false;
    }
    int integer() const { return static_cast<int>(std::lround(number)); }
    // Seconds with three decimals as whole milliseconds.
    uint32_t ms() const { return static_cast<uint32_t>(std::lround(number * 1000.0)); }
};

class PyParser {
public:
    explicit PyParser(const std::string& text) : s_(text) {}

    PyValue parseAssignment()
    {
        const size_t eq = s_.find('=');
        if (eq == std::string::npos)
            throw std::runtime_error("no assignment");
        pos_ = eq + 1;
        return value();
    }

private:
    void skip()
    {
        while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_])))
            ++pos_;
    }
    char peek()
    {
        skip();
        if (pos_ >= s_.size())
            throw std::runtime_error("unexpected end");
        return s_[pos_];
    }
    void expect(char c)
    {
        if (peek() != c)
            throw std::runtime_error(std::string("expected ") + c + " at " + std::to_string(pos_));
        ++pos_;
    }
    std::string quoted()
    {
        expect('\'');
        std::string out;
        while (pos_ < s_.size() && s_[pos_] != '\'') {
            if (s_[pos_] == '\\' && pos_ + 1 < s_.size())
                ++pos_;
            out += s_[pos_++];
        }
        expect('\'');
        return out;
    }
    PyValue value()
    {
        PyValue v;
        const char c = peek();
        if (c == '{') {
            v.kind = PyValue::Kind::Dict;
            ++pos_;
            while (peek() != '}') {
                std::string key = quoted();
                expect(':');
                v.keys.emplace_back(std::move(key), value());
                if (peek() == ',')
                    ++pos_;
            }
            ++pos_;
        } else if (c == '[') {
            v.kind = PyValue::Kind::List;
            ++pos_;
            while (peek() != ']') {
                v.items.push_back(value());
                if (peek() == ',')
                    ++pos_;
            }
            ++pos_;
        } else if (c == '\'') {
            v.kind = PyValue::Kind::String;
            v.string = quoted();
        } else {
            size_t used = 0;
            v.number = std::stod(s_.substr(pos_, 32), &used);
            pos_ += used;
        }
        return v;
    }

    const std::string& s_;
    size_t pos_ = 0;
};

// ---- dvdxchap: CHAPTERnn=HH:MM:SS.mmm -----------------------------------

std::vector<uint32_t> ChapterTimes(const std::string& text)
{
    std::vector<uint32_t> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        unsigned n, h, m, s, ms;
        char name[8];
        if (line.find("NAME") == std::string::npos &&
            std::sscanf(line.c_str(), "CHAPTER%u=%u:%u:%u.%u%7s", &n, &h, &m, &s, &ms, name) >= 5)
            out.push_back(((h * 60 + m) * 60 + s) * 1000 + ms);
    }
    return out;
}

// ---- dump_ifo (libdvdread's own reading): VOB and cell ids per PGC -------

std::map<int, std::vector<std::pair<int, int>>> CellIds(const std::string& text)
{
    std::map<int, std::vector<std::pair<int, int>>> out;
    std::istringstream in(text);
    std::string line;
    int pgc = -1;
    while (std::getline(in, line)) {
        int p, c, vob, id;
        if (std::sscanf(line.c_str(), "pgc %d:", &p) == 1)
            pgc = p;
        else if (std::sscanf(line.c_str(), "  cell %d: vob %d cell %d", &c, &vob, &id) == 3)
            out[pgc].emplace_back(vob, id);
    }
    return out;
}

struct TitleSet {
    std::string name;
    std::string dir;
};

std::vector<TitleSet> AllTitleSets()
{
    std::vector<TitleSet> out = {{"sample", ExamplePath("")}};
    for (const char* n : {"ntsc", "one_chapter", "many_chapters", "no_subs", "short_last"})
        out.push_back({n, FixturePath(std::string("dvd/") + n + "/")});
    return out;
}

bool ContainsAny(const std::string& text, std::initializer_list<std::string> words)
{
    for (const std::string& w : words)
        if (text.find(w) != std::string::npos)
            return true;
    return false;
}

class FixtureTitles : public testing::TestWithParam<TitleSet> {
protected:
    void SetUp() override
    {
        const TitleSet& t = GetParam();
        path_ = t.dir + "VTS_01_0.IFO";
        ASSERT_TRUE(std::filesystem::exists(path_)) << path_;
        lsdvdText_ = ReadFile(t.dir + "lsdvd.txt");
        lsdvd_ = PyParser(lsdvdText_).parseAssignment();
    }

    std::string path_;
    std::string lsdvdText_;
    PyValue lsdvd_;
};

TEST_P(FixtureTitles, CellsAndChaptersAgreeWithLsdvdAndDvdxchap)
{
    const auto ids = CellIds(ReadFile(GetParam().dir + "dump_ifo.txt"));
    const auto& tracks = lsdvd_["track"].items;
    ASSERT_FALSE(tracks.empty());
    for (const PyValue& track : tracks) {
        const int ix = track["ix"].integer();
        const int pgc = track["ttn"].integer() - 1;  // one PGC per title, in order
        SCOPED_TRACE("title " + std::to_string(ix) + " = PGC " + std::to_string(pgc));
        ASSERT_EQ(track["vts"].integer(), 1);

        const LoadResult res = Load(path_, false, pgc);
        ASSERT_TRUE(res.model.has_value()) << res.report.plainText();
        ASSERT_TRUE(res.titles.has_value());
        EXPECT_EQ(res.titles->size(), tracks.size());
        EXPECT_EQ(res.selectedTitle, pgc);
        EXPECT_EQ(res.frameRate, track["format"].string == "PAL" ? "25000" : "29970");
        const TitleModel& m = *res.model;

        // Cells: count, each length, and the ids libdvdread reads.
        const auto& cells = track["cell"].items;
        ASSERT_EQ(m.cellLengthsMs.size(), cells.size());
        ASSERT_EQ(res.rows.size(), cells.size());
        ASSERT_EQ(ids.at(pgc).size(), cells.size());
        uint32_t sum = 0;
        for (size_t c = 0; c < cells.size(); ++c) {
            EXPECT_EQ(m.cellLengthsMs[c], cells[c]["length"].ms()) << "cell " << c;
            EXPECT_EQ(m.cellStartsMs[c], sum) << "cell " << c;
            sum += cells[c]["length"].ms();
            char vob[8], id[8];
            std::snprintf(vob, sizeof vob, "%02d", ids.at(pgc)[c].first);
            std::snprintf(id, sizeof id, "%02d", ids.at(pgc)[c].second);
            EXPECT_EQ(res.rows[c].vobId, vob);
            EXPECT_EQ(res.rows[c].cellId, id);
            EXPECT_EQ(res.rows[c].angle, "");
        }
        EXPECT_EQ(m.cellStartsMs.back(), sum);
        EXPECT_NEAR(double(sum), double(track["length"].ms()), double(cells.size()));
        EXPECT_EQ(res.timeLength, FormatMsTime(sum));

        // Chapters: first cells and start times from lsdvd; the last-chapter
        // rule applied to lsdvd's own length of that first cell.
        const auto& chapters = track["chapter"].items;
        ASSERT_EQ(m.chapterStarts.size(), chapters.size());
        uint32_t start = 0;
        for (size_t k = 0; k < chapters.size(); ++k) {
            EXPECT_EQ(m.chapterStarts[k], uint32_t(chapters[k]["startcell"].integer())) << "chapter " << k;
            EXPECT_EQ(m.chapterStartMs(k), start) << "chapter " << k;
            EXPECT_EQ(res.rows[m.chapterStarts[k] - 1].chapter, std::to_string(k + 1));
            start += chapters[k]["length"].ms();
        }
        const int lastFirst = chapters.back()["startcell"].integer();
        const bool dropped = cells[size_t(lastFirst - 1)]["length"].ms() < 5000;
        EXPECT_EQ(m.chapterCount, chapters.size() - (dropped ? 1 : 0));
        EXPECT_EQ(res.chapterTotal, std::to_string(m.chapterCount));
        EXPECT_EQ(res.report.plainText().find("Warning ! Last chapter") != std::string::npos, dropped);
        for (size_t c = 0; c < res.rows.size(); ++c) {
            bool starts = false;
            for (size_t k = 0; k < m.chapterCount; ++k)
                starts = starts || m.chapterStarts[k] == c + 1;
            EXPECT_EQ(res.rows[c].checked, starts) << "row " << c;
        }

        // dvdxchap lists every chapter, the dropped one too.
        const std::vector<uint32_t> xchap =
            ChapterTimes(ReadFile(GetParam().dir + "dvdxchap_t" + std::to_string(ix) + ".txt"));
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
    int pgc = -1;
    for (const PyValue& track : lsdvd_["track"].items)
        if (track["ix"].integer() == longest)
            pgc = track["ttn"].integer() - 1;
    ASSERT_GE(pgc, 0);
    const LoadResult res = Load(path_, true, -1);
    EXPECT_EQ(res.selectedTitle, pgc);
    auto reader = IfoReader::Open(path_);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(FindLongestPgc(reader.get()), pgc);
}

TEST_P(FixtureTitles, VideoAndStreamsAgreeWithLsdvd)
{
    const PyValue& track = lsdvd_["track"].items.at(0);
    const LoadResult res = Load(path_);
    const std::string plain = res.report.plainText();
    const bool pal = track["format"].string == "PAL";
    EXPECT_NE(plain.find(std::string(" TV system   : ") + (pal ? "PAL 625/50" : "NTSC 525/60") + " Hz\r\n"),
              std::string::npos);
    std::string aspect = track["aspect"].string;  // "16/9"
    std::replace(aspect.begin(), aspect.end(), '/', ':');
    EXPECT_NE(plain.find(" Aspect ratio: " + aspect + "\r\n"), std::string::npos) << aspect;
    const std::string res_ = std::to_string(track["width"].integer()) + "x" + std::to_string(track["height"].integer());
    EXPECT_NE(plain.find(" Source Res  : " + res_ + "\r\n"), std::string::npos) << res_;

    auto reader = IfoReader::Open(path_);
    ASSERT_NE(reader, nullptr);
    const auto& audio = track["audio"].items;
    ASSERT_EQ(reader->audioDescriptions().size(), audio.size());
    for (size_t i = 0; i < audio.size(); ++i) {
        const std::string& d = reader->audioDescriptions()[i];
        const std::string format = audio[i]["format"].string;
        if (audio[i].has("langcode")) {
            EXPECT_NE(d.find(audio[i]["langcode"].string), std::string::npos) << d;
        }
        EXPECT_TRUE(format != "ac3" || ContainsAny(d, {"AC-3", "AC3"})) << d;
        EXPECT_TRUE(format != "mpeg1" || ContainsAny(d, {"MPEG-1", "MPEG1", "MP2"})) << d;
        EXPECT_TRUE(ContainsAny(d, {std::to_string(audio[i]["channels"].integer()) + " ch",
                                    std::to_string(audio[i]["channels"].integer()) + "ch"}))
            << d;
        EXPECT_TRUE(ContainsAny(d, {std::to_string(audio[i]["frequency"].integer() / 1000) + " kHz",
                                    std::to_string(audio[i]["frequency"].integer())}))
            << d;
        EXPECT_NE(plain.find("\r\n  " + std::to_string(i) + ". " + d + "\r\n"), std::string::npos) << d;
    }
    const auto& subs = track["subp"].items;
    ASSERT_EQ(reader->subPictureDescriptions().size(), subs.size());
    for (size_t i = 0; i < subs.size(); ++i)
        if (subs[i].has("langcode")) {
            EXPECT_NE(reader->subPictureDescriptions()[i].find(subs[i]["langcode"].string), std::string::npos);
        }
    EXPECT_EQ(plain.find("SubPicture:") != std::string::npos, !subs.empty());
}

INSTANTIATE_TEST_SUITE_P(Dvdauthor, FixtureTitles, testing::ValuesIn(AllTitleSets()),
                         [](const testing::TestParamInfo<TitleSet>& info) { return info.param.name; });

TEST(FixtureTitlesNtsc, FramesShownAsHundredths)
{
    // Cells of 5 s 15 frames and 10 s 1 frame at 29.97 fps.
    const LoadResult first = Load(FixturePath("dvd/ntsc/VTS_01_0.IFO"), false, 0);
    ASSERT_EQ(first.rows.size(), 5u);
    EXPECT_EQ(first.rows[0].length, "00:00:05:50");
    EXPECT_EQ(first.rows[4].length, "00:00:19:93");  // 28 frames = 934 ms
    EXPECT_NE(first.report.plainText().find("  Using PGC #0. Length: 00:00:59:93 in 5 cell(s).\r\n"),
              std::string::npos);
    const LoadResult second = Load(FixturePath("dvd/ntsc/VTS_01_0.IFO"), false, 1);
    ASSERT_EQ(second.rows.size(), 2u);
    EXPECT_EQ(second.rows[0].length, "00:00:10:03");
    EXPECT_EQ(second.rows[1].timestamp, "00:00:10:03");
}

TEST(FixtureTitlesMany, TwentyFiveProgramsGiveThreeLinkLines)
{
    const LoadResult res = Load(FixturePath("dvd/many_chapters/VTS_01_0.IFO"), false, 1);
    const std::string links = "000 -> 001 -> 002 -> 003 -> 004 -> 006 -> 007 -> 008 -> 009 -> 010 -> \r\n"
                              "012 -> 013 -> 014 -> 015 -> 016 -> 018 -> 019 -> 020 -> 021 -> 022 -> \r\n"
                              "024 -> 025 -> 026 -> 027 -> 028\r\n";
    EXPECT_NE(res.report.plainText().find("Cells links :\r\n" + links), std::string::npos) << res.report.plainText();
}

}  // namespace
}  // namespace pelvano::test
