// The reader layer: opening by path, decoding the tables libdvdread hands
// over, and bad input.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <tuple>

#include "ifo/ifo_reader.h"
#include "load_helpers.h"

namespace pelvano::test {
namespace {

namespace fs = std::filesystem;

IfoImage TwoPgcs()
{
    return IfoImage()
        .videoAttributes(0x5D, 0x04)
        .addPgc(Pgc().cell(1, 1, 0, 0, 10, 0).programMap({1}))
        .addPgc(Pgc().cell(2, 1, 0, 0, 20, 0).cell(2, 2, 0, 0, 5, 0).programMap({1, 2}));
}

std::unique_ptr<IfoReader> OpenImage(const TempDir& dir, const IfoImage& image)
{
    return IfoReader::Open(WriteImage(dir, image));
}

// Whatever a damaged file gives, the reader's tables hang together, and so
// does the model a load builds from them.
void ExpectConsistent(const std::string& path)
{
    if (auto r = IfoReader::Open(path)) {
        for (uint32_t p = 0; p < r->pgcCount(); ++p) {
            IfoTime t;
            EXPECT_EQ(r->pgcInfo(p, &t), r->pgcCells(p).size());
            EXPECT_LE(r->pgcCells(p).size(), 255u);
            EXPECT_LE(r->programMap(p).size(), 255u);
        }
        EXPECT_LE(r->audioDescriptions().size(), 8u);
        EXPECT_LE(r->subPictureDescriptions().size(), 32u);
    }
    for (int title : {-1, 1}) {
        const LoadResult res = Load(path, title < 0, title);
        ASSERT_FALSE(res.report.lines().empty());
        if (!res.model)
            continue;
        const TitleModel& m = *res.model;
        EXPECT_EQ(m.cellStartsMs.size(), m.cellLengthsMs.size() + 1);
        EXPECT_EQ(res.rows.size(), m.cellLengthsMs.size());
        EXPECT_LE(m.chapterCount, m.chapterStarts.size());
        for (uint32_t s : m.chapterStarts)
            EXPECT_TRUE(s >= 1 && s <= m.cellLengthsMs.size()) << s;
    }
}

void ExpectConsistent(const TempDir& dir, const IfoImage& image)
{
    ExpectConsistent(WriteImage(dir, image));
}

TEST(IfoReaderOpen, ReadsTheNamedFileWhateverItsName)
{
    TempDir dir;
    // Another title set's files beside it are not read instead.
    WriteFile(dir.file("VTS_01_0.BUP"), RandomBytes(3 * 2048, 1));
    WriteFile(dir.file("VIDEO_TS.IFO"), VideoManagerBytes());
    WriteFile(dir.file("VTS_02_0.IFO"), RandomBytes(4096, 2));
    fs::create_directories(dir.path() / "my disc" / "VIDEO_TS");
    for (const std::string name : {"movie.ifo", "my disc/VIDEO_TS/VTS_07_0.IFO", "my disc/Title Set.IFO"}) {
        auto r = IfoReader::Open(WriteImage(dir, TwoPgcs(), name));
        ASSERT_NE(r, nullptr) << name;
        EXPECT_EQ(r->pgcCount(), 2u);
        EXPECT_EQ(r->videoAttribute0(), 0x5D);
        EXPECT_EQ(r->videoAttribute1(), 0x04);
    }
    // Nor is a backup beside a damaged file.
    WriteFile(dir.file("VTS_03_0.IFO"), RandomBytes(4 * 2048, 3));
    WriteImage(dir, TwoPgcs(), "VTS_03_0.BUP");
    EXPECT_EQ(IfoReader::Open(dir.file("VTS_03_0.IFO")), nullptr);
}

TEST(IfoReaderOpen, WhatIsNoTitleSetGivesNull)
{
    TempDir dir;
    WriteFile(dir.file("empty.IFO"), "");
    WriteFile(dir.file("short.IFO"), "DVDVIDEO-VTS");
    WriteFile(dir.file("header.IFO"), TwoPgcs().bytes().substr(0, 2048));
    for (const std::string& path : {dir.file("missing.IFO"), dir.path().string(), std::string(),
                                    dir.file("empty.IFO"), dir.file("short.IFO"), dir.file("header.IFO")})
        EXPECT_EQ(IfoReader::Open(path), nullptr) << path;

    // The video manager, whatever its name, fails with a reason.
    for (const char* name : {"VIDEO_TS.IFO", "video_ts.ifo", "VIDEO_TS.BUP", "menu.ifo"})
        WriteFile(dir.file(name), VideoManagerBytes());
    for (const std::string& path :
         {dir.file("VIDEO_TS.IFO"), dir.file("video_ts.ifo"), dir.file("VIDEO_TS.BUP"), dir.file("menu.ifo"),
          ExamplePath("VIDEO_TS.IFO")}) {
        std::string why = "stale";
        EXPECT_EQ(IfoReader::Open(path, &why), nullptr) << path;
        EXPECT_FALSE(why.empty() || why == "stale") << path;
    }
}

TEST(IfoReaderOpen, TruncatedDamagedAndRandomFilesNeverCrash)
{
    TempDir dir;
    const IfoImage image = TwoPgcs().addAudio("en", AudioFormat::Ac3, 2).addSubPicture("de");
    const std::string full = image.bytes();
    // Whole sectors and part sectors: libdvdread never reads a part sector.
    std::vector<size_t> sizes = {1, 511, 513, 2047, 2049, full.size() - 1};
    for (uint32_t s = 1; s < image.layout().sectors; ++s) {
        sizes.push_back(s * 2048);
        sizes.push_back(s * 2048 + 100);
    }
    for (size_t size : sizes) {
        SCOPED_TRACE("truncated to " + std::to_string(size));
        WriteFile(dir.file("t.IFO"), full.substr(0, size));
        if (size <= 2048) {
            EXPECT_EQ(IfoReader::Open(dir.file("t.IFO")), nullptr);
        }
        ExpectConsistent(dir.file("t.IFO"));
    }
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        // Noise, half of it behind a valid identifier so libdvdread reads further.
        std::string noise = RandomBytes(2048 * (1 + seed % 6), seed);
        if (seed % 2)
            noise.replace(0, 12, "DVDVIDEO-VTS");
        WriteFile(dir.file("n.IFO"), noise);
        ExpectConsistent(dir.file("n.IFO"));
        // A valid image with its tables partly overwritten by noise.
        std::string damaged = full;
        const std::string scribble = RandomBytes(full.size(), seed * 77);
        for (size_t i = 2048; i < damaged.size(); ++i)
            if ((scribble[i] & 3) == 0)
                damaged[i] = scribble[i];
        WriteFile(dir.file("d.IFO"), damaged);
        ExpectConsistent(dir.file("d.IFO"));
    }
}

// libdvdread complains about all of these on the terminal unless told not to.
TEST(IfoReaderOpen, CountsAndOffsetsBeyondTheFileQuietly)
{
    TempDir dir;
    const Pgc one = Pgc().cell(1, 1, 0, 0, 1, 0).programMap({1});
    const IfoImage base = IfoImage().addPgc(one);
    const IfoImage::Layout l = base.layout();
    const uint32_t vobuMap = l.vobuAddressSector * IfoImage::kSector;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    for (const IfoImage& image :
         {// More programs than cells and a stray byte in a reserved field: opens all the same.
          IfoImage().addPgc(Pgc().cell(1, 1, 0, 0, 1, 0).programMap({1, 1, 1})).poke8(17, 0xAA),
          TwoPgcs().addAudio("en", AudioFormat::Ac3, 2).audioCount(200).subPictureCount(250),
          TwoPgcs().pgcCount(5000), TwoPgcs().pgcCount(3),
          TwoPgcs().tableSector(IfoImage::Table::TimeMap, 9000),
          IfoImage().addPgc(Pgc(one).startByte(0x7FFFFFF0)),
          IfoImage().addPgc(Pgc(one).cellPlaybackOffset(0xFFF0)),
          IfoImage().addPgc(Pgc(one).cellPositionOffset(0xFFF0)),
          IfoImage().addPgc(Pgc(one).programMapOffset(0xFFF0)), IfoImage().addPgc(Pgc(one).cellCount(255)),
          IfoImage().addPgc(Pgc(one).programCount(255)),
          IfoImage().addPgc(Pgc(one).cellPlaybackOffset(0).cellCount(9)),
          // Two search pointers to one PGC that cannot be read: libdvdread
          // 6.1.3 drops the PGC, then follows the second pointer to it.
          IfoImage().addPgc(Pgc(one).startByte(0x7FFFFFF0)).addPgc(Pgc(one).startByte(0x7FFFFFF0)),
          IfoImage().addPgc(Pgc(one).startByte(0x00FFFFF0)).addPgc(Pgc(one).startByte(0x00FFFFF0)),
          // A cell address table claiming nearly 4 GiB: libdvdread 6.1.3 sizes
          // its read buffer in 32 bits, which wraps, and then reads past it.
          // The title's table, and the menus' table pointed at the VOBU map,
          // whose first entry then reads as that table's size.
          IfoImage(base).poke32(l.cellAddressSector * IfoImage::kSector + 4, 0xFFFFFFF0u),
          IfoImage(base).poke32(l.cellAddressSector * IfoImage::kSector + 4, 0xFFFFF800u),
          IfoImage(base).poke32(216, l.vobuAddressSector).poke32(vobuMap + 4, 0xFFFFFFF0u),
          IfoImage(base).poke32(216, l.vobuAddressSector).poke32(vobuMap + 4, 0xFFFFF800u)})
        ExpectConsistent(dir, image);
    fflush(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    // Tables libdvdread needs, placed beyond the file or missing: no title set.
    using T = IfoImage::Table;
    for (T t : {T::PttSrpt, T::Pgcit, T::CellAddress, T::VobuAddress}) {
        EXPECT_EQ(OpenImage(dir, TwoPgcs().tableSector(t, 9000)), nullptr) << int(t);
        EXPECT_EQ(OpenImage(dir, TwoPgcs().tableSector(t, 0)), nullptr) << int(t);
    }
}

TEST(IfoReaderCells, BcdTimesWithoutTheFrameRateBitsAndAngleBytes)
{
    TempDir dir;
    CellSpec raw = MakeCell(3, 4, 0, 0, 0, 0);
    raw.rawTime = std::array<uint8_t, 4>{0x01, 0x59, 0x58, 0xC0 | 0x29};
    CellSpec bare = MakeCell(3, 5, 0, 0, 0, 0);
    bare.rawTime = std::array<uint8_t, 4>{0x00, 0x00, 0x07, 0x15};  // no rate bits
    auto r = OpenImage(
        dir, IfoImage().pal().addPgc(Pgc()
                                         .cell(1, 2, 12, 34, 56, 23)
                                         .rawCell(raw)
                                         .rawCell(bare)
                                         .angleBlock({MakeCell(4, 1, 0, 0, 6, 0), MakeCell(5, 1, 0, 0, 6, 0),
                                                      MakeCell(6, 1, 0, 0, 6, 0)})
                                         .angleBlock({MakeCell(8, 1, 0, 0, 7, 0), MakeCell(9, 1, 0, 0, 7, 0)})
                                         .rawTime({0x23, 0x45, 0x07, 0x40 | 0x19})
                                         .programMap({1, 4})));
    ASSERT_NE(r, nullptr);
    IfoTime t;
    ASSERT_EQ(r->pgcInfo(0, &t), 8u);
    EXPECT_EQ((std::vector<int>{t.hours, t.minutes, t.seconds, t.frames}), (std::vector<int>{23, 45, 7, 19}));
    std::vector<std::vector<int>> cells;
    for (const IfoCell& c : r->pgcCells(0))
        cells.push_back({c.vobId, c.cellId, c.angle, c.length.hours, c.length.minutes, c.length.seconds,
                         c.length.frames});
    EXPECT_EQ(cells, (std::vector<std::vector<int>>{{1, 2, 0x11, 12, 34, 56, 23},
                                                    {3, 4, 0x11, 1, 59, 58, 29},
                                                    {3, 5, 0x11, 0, 0, 7, 15},
                                                    {4, 1, 0x31, 0, 0, 6, 0},
                                                    {5, 1, 0x32, 0, 0, 6, 0},
                                                    {6, 1, 0x33, 0, 0, 6, 0},
                                                    {8, 1, 0x21, 0, 0, 7, 0},
                                                    {9, 1, 0x22, 0, 0, 7, 0}}));
    EXPECT_EQ(r->programMap(0), (std::vector<uint8_t>{1, 4}));

    // An index beyond the PGCs: no cells, zero time.
    IfoTime none{1, 2, 3, 4};
    EXPECT_EQ(r->pgcInfo(5, &none), 0u);
    EXPECT_EQ(none.hours + none.minutes + none.seconds + none.frames, 0);
    EXPECT_TRUE(r->pgcCells(5).empty());
    EXPECT_TRUE(r->programMap(5).empty());
}

TEST(IfoReaderCells, TheMostCells)
{
    TempDir dir;
    Pgc many;
    for (int c = 0; c < 255; ++c)
        many.cell(static_cast<uint16_t>(1 + c / 100), static_cast<uint8_t>(1 + c % 100), 0, 0, 2, 0);
    auto r = OpenImage(dir, IfoImage().addPgc(many.programMap({1, 100, 255})));
    ASSERT_NE(r, nullptr);
    IfoTime t;
    EXPECT_EQ(r->pgcInfo(0, &t), 255u);
    EXPECT_EQ(t.minutes * 60 + t.seconds, 510);  // 255 × 2 s
    EXPECT_EQ(r->pgcCells(0).back().vobId * 100 + r->pgcCells(0).back().cellId, 355);
    EXPECT_EQ(r->programMap(0), (std::vector<uint8_t>{1, 100, 255}));
}

bool ContainsAll(const std::string& text, std::initializer_list<const char*> words)
{
    return std::all_of(words.begin(), words.end(),
                       [&](const char* w) { return text.find(w) != std::string::npos; });
}

bool Printable(const std::string& text)
{
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

// The shapes the real title sets lack; those are compared with lsdvd.
TEST(IfoReaderStreams, DescriptionsInClearWordsOnOneLine)
{
    TempDir dir;
    auto r = OpenImage(dir, IfoImage()
                                .addAudio("de", AudioFormat::Lpcm, 2, 96000, 2)
                                .addAudio("ja", AudioFormat::Dts, 6)
                                .addAudio("", AudioFormat::Mpeg1, 1)
                                .addAudio("qx", AudioFormat::Mpeg2Ext, 8)
                                .addSubPicture("nl")
                                .addSubPicture("")
                                .addSubPicture("en")
                                .addPgc(Pgc().cell(1, 1, 0, 0, 1, 0).programMap({1}))
                                .poke16(598 + 2 * 6 + 2, 0x0A0D));  // last sub-picture language: LF CR
    ASSERT_NE(r, nullptr);
    const auto& a = r->audioDescriptions();
    ASSERT_EQ(a.size(), 4u);
    EXPECT_TRUE(ContainsAll(a[0], {"German", "de", "LPCM", "96 kHz"})) << a[0];
    EXPECT_TRUE(ContainsAll(a[1], {"Japanese", "DTS", "6 ch"})) << a[1];
    EXPECT_TRUE(ContainsAll(a[2], {"MPEG-1", "1 ch"})) << a[2];
    EXPECT_TRUE(ContainsAll(a[3], {"qx", "8 ch"})) << a[3];
    const auto& s = r->subPictureDescriptions();
    ASSERT_EQ(s.size(), 3u);
    EXPECT_TRUE(ContainsAll(s[0], {"Dutch", "nl"})) << s[0];
    EXPECT_EQ(s[1].find("Dutch"), std::string::npos);
    // The report shows them one per line: no control bytes, no line breaks.
    for (const auto* list : {&a, &s})
        for (const std::string& d : *list)
            EXPECT_TRUE(Printable(d)) << d;
}

// Bytes read from a disc parse as the file holding them does, however many
// title sets come at once (a full disc's names span several directory
// blocks) and whatever their size (not whole blocks: a file the library
// reads another way).
TEST(IfoReaderFromBytes, EveryTitleSetParsesAsItsFile)
{
    const TempDir dir;
    const std::string odd = dir.file("VTS_03_0.IFO");
    WriteFile(odd, ReadFile(FixturePath("dvd/two_sets/VTS_01_0.IFO")) + std::string(100, '\0'));
    const std::vector<std::string> files = {FixturePath("dvd/many_chapters/VTS_01_0.IFO"),
                                            FixturePath("dvd/two_sets/VTS_02_0.IFO"), odd};
    struct Case {
        const char* what;
        std::vector<int> fileOfSet;  // title set n + 1 holds files[fileOfSet[n]]
    };
    std::vector<int> full;
    for (int n = 0; n < 99; ++n)
        full.push_back(n % 2);
    const Case cases[] = {{"a full disc", full}, {"one odd size among others", {0, 2, 1}}};
    for (const Case& c : cases) {
        std::map<int, std::string> images;
        for (size_t n = 0; n < c.fileOfSet.size(); ++n)
            images[static_cast<int>(n) + 1] = ReadFile(files[c.fileOfSet[n]]);
        const auto readers = IfoReader::FromBytes(images);
        ASSERT_EQ(readers.size(), images.size()) << c.what;
        for (const auto& [number, reader] : readers) {
            SCOPED_TRACE(std::string(c.what) + ", title set " + std::to_string(number));
            const auto expected = IfoReader::Open(files[c.fileOfSet[number - 1]]);
            ASSERT_TRUE(expected && reader);
            ASSERT_EQ(reader->pgcCount(), expected->pgcCount());
            for (uint32_t p = 0; p < reader->pgcCount(); ++p) {
                IfoTime a, b;
                EXPECT_EQ(reader->pgcInfo(p, &a), expected->pgcInfo(p, &b));
                EXPECT_EQ(std::tie(a.hours, a.minutes, a.seconds, a.frames),
                          std::tie(b.hours, b.minutes, b.seconds, b.frames));
                EXPECT_EQ(reader->programMap(p), expected->programMap(p));
                EXPECT_EQ(reader->pgcCells(p).size(), expected->pgcCells(p).size());
            }
            EXPECT_EQ(reader->audioDescriptions(), expected->audioDescriptions());
            EXPECT_EQ(reader->subPictureDescriptions(), expected->subPictureDescriptions());
        }
    }
}

}  // namespace
}  // namespace pelvano::test
