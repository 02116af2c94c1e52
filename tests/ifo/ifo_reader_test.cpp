// The reader layer: opening by path, decoding the tables libdvdread hands
// over, and bad input.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "ifo/ifo_reader.h"
#include "ifo_test_helpers.h"

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

IfoImage OnePgc()
{
    return IfoImage().videoAttributes(0x40, 0x0C).addPgc(Pgc().cell(7, 3, 0, 0, 1, 0).programMap({1}));
}

// Whatever a damaged file gives, the reader's own tables hang together.
void ExpectConsistent(const IfoReader& r)
{
    for (uint32_t p = 0; p < r.pgcCount(); ++p) {
        IfoTime t;
        EXPECT_EQ(r.pgcInfo(p, &t), r.pgcCells(p).size());
        EXPECT_LE(r.pgcCells(p).size(), 255u);
        EXPECT_LE(r.programMap(p).size(), 255u);
    }
    EXPECT_LE(r.audioDescriptions().size(), 8u);
    EXPECT_LE(r.subPictureDescriptions().size(), 32u);
}

TEST(IfoReaderOpen, ReadsTheNamedFileWhateverItsName)
{
    TempDir dir;
    WriteImage(dir, TwoPgcs(), "movie.ifo");
    WriteImage(dir, OnePgc(), "VTS_01_0.IFO");
    WriteFile(dir.file("VTS_01_0.BUP"), RandomBytes(3 * 2048, 1));
    WriteFile(dir.file("VIDEO_TS.IFO"), VideoManagerBytes());
    WriteFile(dir.file("VTS_02_0.IFO"), RandomBytes(4096, 2));
    WriteFile(dir.file("notes.txt"), "not a title set\n");
    fs::create_directory(dir.path() / "VIDEO_TS");

    auto movie = IfoReader::Open(dir.file("movie.ifo"));
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(movie->pgcCount(), 2u);
    EXPECT_EQ(movie->videoAttribute0(), 0x5D);
    EXPECT_EQ(movie->videoAttribute1(), 0x04);

    auto vts = IfoReader::Open(dir.file("VTS_01_0.IFO"));
    ASSERT_NE(vts, nullptr);
    ASSERT_EQ(vts->pgcCount(), 1u);
    EXPECT_EQ(vts->videoAttribute0(), 0x40);
    EXPECT_EQ(vts->pgcCells(0).at(0).vobId, 7);

    // Another title-set number, and a folder and name with blanks.
    fs::create_directories(dir.path() / "my disc" / "VIDEO_TS");
    const std::string odd = (dir.path() / "my disc" / "VIDEO_TS" / "VTS_07_0.IFO").string();
    TwoPgcs().writeTo(odd);
    auto seven = IfoReader::Open(odd);
    ASSERT_NE(seven, nullptr);
    EXPECT_EQ(seven->pgcCount(), 2u);
    const std::string blanks = (dir.path() / "my disc" / "Title Set.IFO").string();
    OnePgc().writeTo(blanks);
    auto spaced = IfoReader::Open(blanks);
    ASSERT_NE(spaced, nullptr);
    EXPECT_EQ(spaced->pgcCount(), 1u);
}

TEST(IfoReaderOpen, ABackupBesideADamagedFileIsNotReadInstead)
{
    TempDir dir;
    WriteFile(dir.file("VTS_01_0.IFO"), RandomBytes(4 * 2048, 3));
    WriteImage(dir, TwoPgcs(), "VTS_01_0.BUP");
    std::string why;
    EXPECT_EQ(IfoReader::Open(dir.file("VTS_01_0.IFO"), &why), nullptr);
}

TEST(IfoReaderOpen, VideoManagerFileFailsWithAReason)
{
    TempDir dir;
    for (const char* name : {"VIDEO_TS.IFO", "video_ts.ifo", "VIDEO_TS.BUP"}) {
        SCOPED_TRACE(name);
        WriteFile(dir.file(name), VideoManagerBytes());
        std::string why = "stale";
        EXPECT_EQ(IfoReader::Open(dir.file(name), &why), nullptr);
        EXPECT_FALSE(why.empty());
        EXPECT_NE(why, "stale");
    }
    // The same header under another name is still no title set.
    WriteFile(dir.file("menu.ifo"), VideoManagerBytes());
    EXPECT_EQ(IfoReader::Open(dir.file("menu.ifo")), nullptr);

    std::string why;
    EXPECT_EQ(IfoReader::Open(ExamplePath("VIDEO_TS.IFO"), &why), nullptr);
    EXPECT_FALSE(why.empty());
}

TEST(IfoReaderOpen, UnreadableFilesGiveNull)
{
    TempDir dir;
    std::string why = "stale";
    EXPECT_EQ(IfoReader::Open(dir.file("missing.IFO"), &why), nullptr);
    EXPECT_NE(why, "stale");
    EXPECT_EQ(IfoReader::Open(dir.path().string()), nullptr);
    EXPECT_EQ(IfoReader::Open(""), nullptr);

    WriteFile(dir.file("empty.IFO"), "");
    EXPECT_EQ(IfoReader::Open(dir.file("empty.IFO")), nullptr);
    WriteFile(dir.file("short.IFO"), "DVDVIDEO-VTS");
    EXPECT_EQ(IfoReader::Open(dir.file("short.IFO")), nullptr);
    WriteFile(dir.file("header.IFO"), TwoPgcs().bytes().substr(0, 2048));
    EXPECT_EQ(IfoReader::Open(dir.file("header.IFO")), nullptr);
}

TEST(IfoReaderOpen, TruncatedAndRandomBytesNeverCrash)
{
    TempDir dir;
    const IfoImage image = TwoPgcs().addAudio("en", AudioFormat::Ac3, 2).addSubPicture("de");
    const std::string full = image.bytes();
    const IfoImage::Layout l = image.layout();
    std::vector<size_t> sizes = {1, 12, 511, 512, 513, 514, 1024, 2047, 2049, full.size() - 1};
    for (uint32_t s = 1; s < l.sectors; ++s) {
        sizes.push_back(s * 2048);
        sizes.push_back(s * 2048 + 100);
    }
    for (size_t size : sizes) {
        SCOPED_TRACE("truncated to " + std::to_string(size));
        WriteFile(dir.file("VTS_01_0.IFO"), full.substr(0, size));
        auto r = IfoReader::Open(dir.file("VTS_01_0.IFO"));
        if (r)
            ExpectConsistent(*r);
        if (size <= 2048) {
            EXPECT_EQ(r, nullptr);
        }
    }
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::string noise = RandomBytes(2048 * (1 + seed % 6), seed);
        // Half of them with a valid identifier, so libdvdread reads further.
        if (seed % 2)
            noise.replace(0, 12, "DVDVIDEO-VTS");
        WriteFile(dir.file("noise.IFO"), noise);
        auto r = IfoReader::Open(dir.file("noise.IFO"));
        if (r)
            ExpectConsistent(*r);
    }
    // A valid image with its tables overwritten by noise.
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        std::string damaged = full;
        const std::string noise = RandomBytes(full.size() - 2048, seed * 77);
        for (size_t i = 2048; i < damaged.size(); ++i)
            if (noise[i - 2048] & 1)
                damaged[i] = noise[i - 2048];
        WriteFile(dir.file("damaged.IFO"), damaged);
        auto r = IfoReader::Open(dir.file("damaged.IFO"));
        if (r)
            ExpectConsistent(*r);
    }
}

TEST(IfoReaderOpen, CountsAndOffsetsBeyondTheFile)
{
    TempDir dir;
    auto open = [&](const IfoImage& image) {
        WriteImage(dir, image);
        return IfoReader::Open(dir.file("VTS_01_0.IFO"));
    };

    // Stream counts past the tables: at most what the table holds.
    auto streams = open(TwoPgcs().addAudio("en", AudioFormat::Ac3, 2).audioCount(200).subPictureCount(250));
    ASSERT_NE(streams, nullptr);
    ExpectConsistent(*streams);

    // A PGC count past the table, a PGC that starts past the end, cell and
    // map offsets past the end, a cell count past the end.
    for (const IfoImage& image :
         {TwoPgcs().pgcCount(5000), TwoPgcs().pgcCount(3),
          IfoImage().addPgc(Pgc().cell(1, 1, 0, 0, 1, 0).programMap({1}).startByte(0x7FFFFFF0)),
          IfoImage().addPgc(Pgc().cell(1, 1, 0, 0, 1, 0).programMap({1}).cellPlaybackOffset(0xFFF0)),
          IfoImage().addPgc(Pgc().cell(1, 1, 0, 0, 1, 0).programMap({1}).cellPositionOffset(0xFFF0)),
          IfoImage().addPgc(Pgc().cell(1, 1, 0, 0, 1, 0).programMap({1}).programMapOffset(0xFFF0)),
          IfoImage().addPgc(Pgc().cell(1, 1, 0, 0, 1, 0).programMap({1}).cellCount(255)),
          IfoImage().addPgc(Pgc().cell(1, 1, 0, 0, 1, 0).programMap({1}).programCount(255)),
          IfoImage().addPgc(Pgc().cell(1, 1, 0, 0, 1, 0).programMap({1}).cellPlaybackOffset(0).cellCount(9))}) {
        auto r = open(image);
        if (r)
            ExpectConsistent(*r);
    }

    // Tables libdvdread needs, placed beyond the file or missing: no title set.
    using T = IfoImage::Table;
    for (T t : {T::PttSrpt, T::Pgcit, T::CellAddress, T::VobuAddress}) {
        EXPECT_EQ(open(TwoPgcs().tableSector(t, 9000)), nullptr) << int(t);
        EXPECT_EQ(open(TwoPgcs().tableSector(t, 0)), nullptr) << int(t);
    }
    auto map = open(TwoPgcs().tableSector(T::TimeMap, 9000));
    if (map)
        ExpectConsistent(*map);
}

// Two search pointers to one PGC that cannot be read: libdvdread 6.1.3
// drops the PGC and then follows the second pointer to the dropped one.
TEST(IfoReaderOpen, SharedPgcThatCannotBeRead)
{
    TempDir dir;
    for (uint32_t start : {0x7FFFFFF0u, 0x00FFFFF0u}) {
        WriteImage(dir, IfoImage()
                            .addPgc(Pgc().cell(1, 1, 0, 0, 1, 0).programMap({1}).startByte(start))
                            .addPgc(Pgc().cell(1, 2, 0, 0, 1, 0).programMap({1}).startByte(start)));
        auto r = IfoReader::Open(dir.file("VTS_01_0.IFO"));
        if (r)
            ExpectConsistent(*r);
    }
}

// A cell address table claiming nearly 4 GiB: libdvdread 6.1.3 sizes its read
// buffer in 32 bits, which wraps, and then reads past it.
TEST(IfoReaderOpen, CellAddressTableOfNearlyFourGigabytes)
{
    TempDir dir;
    const IfoImage base = IfoImage().addPgc(Pgc().cell(1, 1, 0, 0, 1, 0).programMap({1}));
    const IfoImage::Layout l = base.layout();
    for (uint32_t lastByte : {0xFFFFFFF0u, 0xFFFFF800u}) {
        // The title's table; and the menus' table, pointed at the VOBU map,
        // whose first entry then reads as that table's size.
        for (const IfoImage& image :
             {IfoImage(base).poke32(l.cellAddressSector * IfoImage::kSector + 4, lastByte),
              IfoImage(base).poke32(216, l.vobuAddressSector).poke32(l.vobuAddressSector * IfoImage::kSector + 4, lastByte)}) {
            WriteImage(dir, image);
            auto r = IfoReader::Open(dir.file("VTS_01_0.IFO"));
            if (r)
                ExpectConsistent(*r);
        }
    }
}

TEST(IfoReaderOpen, LibdvdreadPrintsNothing)
{
    TempDir dir;
    std::vector<std::string> files;
    auto add = [&](const std::string& name, const std::string& bytes) {
        WriteFile(dir.file(name), bytes);
        files.push_back(dir.file(name));
    };
    add("good.IFO", TwoPgcs().bytes());
    // More programs than cells and a stray byte in a reserved field: libdvdread
    // complains about both and still opens the file.
    add("odd.IFO", IfoImage().addPgc(Pgc().cell(1, 1, 0, 0, 1, 0).programMap({1, 1, 1})).poke8(17, 0xAA).bytes());
    add("bad.IFO", TwoPgcs().tableSector(IfoImage::Table::PttSrpt, 9000).bytes());
    add("noise.IFO", "DVDVIDEO-VTS" + RandomBytes(8000, 5));
    add("VIDEO_TS.IFO", VideoManagerBytes());

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    for (const std::string& f : files)
        (void)IfoReader::Open(f);
    fflush(nullptr);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
}

TEST(IfoReaderCells, BcdTimesWithoutTheFrameRateBits)
{
    TempDir dir;
    CellSpec raw = MakeCell(3, 4, 0, 0, 0, 0);
    raw.rawTime = std::array<uint8_t, 4>{0x01, 0x59, 0x58, 0xC0 | 0x29};
    CellSpec bare = MakeCell(3, 5, 0, 0, 0, 0);
    bare.rawTime = std::array<uint8_t, 4>{0x00, 0x00, 0x07, 0x15};  // no rate bits
    WriteImage(dir, IfoImage()
                        .pal()
                        .addPgc(Pgc()
                                    .cell(1, 2, 12, 34, 56, 23)
                                    .rawCell(raw)
                                    .rawCell(bare)
                                    .rawTime({0x23, 0x45, 0x07, 0x40 | 0x19})
                                    .programMap({1})));
    auto r = IfoReader::Open(dir.file("VTS_01_0.IFO"));
    ASSERT_NE(r, nullptr);
    IfoTime t;
    ASSERT_EQ(r->pgcInfo(0, &t), 3u);
    EXPECT_EQ(t.hours, 23);
    EXPECT_EQ(t.minutes, 45);
    EXPECT_EQ(t.seconds, 7);
    EXPECT_EQ(t.frames, 19);

    const auto& cells = r->pgcCells(0);
    EXPECT_EQ(cells[0].length.hours, 12);
    EXPECT_EQ(cells[0].length.minutes, 34);
    EXPECT_EQ(cells[0].length.seconds, 56);
    EXPECT_EQ(cells[0].length.frames, 23);
    EXPECT_EQ(cells[1].length.hours, 1);
    EXPECT_EQ(cells[1].length.minutes, 59);
    EXPECT_EQ(cells[1].length.seconds, 58);
    EXPECT_EQ(cells[1].length.frames, 29);
    EXPECT_EQ(cells[2].length.seconds, 7);
    EXPECT_EQ(cells[2].length.frames, 15);
    EXPECT_EQ(cells[1].vobId, 3);
    EXPECT_EQ(cells[1].cellId, 4);

    // Out of range for the index: no PGC, zero time, no cells.
    IfoTime none{1, 2, 3, 4};
    EXPECT_EQ(r->pgcInfo(5, &none), 0u);
    EXPECT_EQ(none.hours + none.minutes + none.seconds + none.frames, 0);
    EXPECT_TRUE(r->pgcCells(5).empty());
    EXPECT_TRUE(r->programMap(5).empty());
}

TEST(IfoReaderCells, AngleBytesOfOrdinaryCellsAndBlocks)
{
    TempDir dir;
    WriteImage(dir, IfoImage().addPgc(
                        Pgc()
                            .cell(1, 1, 0, 0, 10, 0)
                            .angleBlock({MakeCell(2, 1, 0, 0, 5, 0), MakeCell(3, 1, 0, 0, 5, 0)})
                            .angleBlock({MakeCell(4, 1, 0, 0, 6, 0), MakeCell(5, 1, 0, 0, 6, 0),
                                         MakeCell(6, 1, 0, 0, 6, 0)})
                            .cell(7, 1, 0, 0, 10, 0)
                            .angleBlock({MakeCell(8, 1, 0, 0, 7, 0), MakeCell(9, 1, 0, 0, 7, 0)})
                            .programMap({1, 2, 4, 7})));
    auto r = IfoReader::Open(dir.file("VTS_01_0.IFO"));
    ASSERT_NE(r, nullptr);
    std::vector<int> angles;
    std::vector<int> vobs;
    for (const IfoCell& c : r->pgcCells(0)) {
        angles.push_back(c.angle);
        vobs.push_back(c.vobId);
    }
    EXPECT_EQ(angles, (std::vector<int>{0x11, 0x21, 0x22, 0x31, 0x32, 0x33, 0x11, 0x21, 0x22}));
    EXPECT_EQ(vobs, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(r->programMap(0), (std::vector<uint8_t>{1, 2, 4, 7}));
}

TEST(IfoReaderCells, NoCellsAndTheMostCells)
{
    TempDir dir;
    Pgc many;
    for (int c = 0; c < 255; ++c)
        many.cell(static_cast<uint16_t>(1 + c / 100), static_cast<uint8_t>(1 + c % 100), 0, 0, 2, 0);
    many.programMap({1, 100, 255});
    WriteImage(dir, IfoImage().addPgc(Pgc()).addPgc(many).addPgc(Pgc().time(0, 1, 0, 0)));
    auto r = IfoReader::Open(dir.file("VTS_01_0.IFO"));
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->pgcCount(), 3u);
    IfoTime t;
    EXPECT_EQ(r->pgcInfo(0, &t), 0u);
    EXPECT_TRUE(r->programMap(0).empty());
    EXPECT_EQ(r->pgcInfo(1, &t), 255u);
    EXPECT_EQ(t.minutes, 8);  // 255 × 2 s = 8 min 30 s
    EXPECT_EQ(t.seconds, 30);
    EXPECT_EQ(r->pgcCells(1).back().vobId, 3);
    EXPECT_EQ(r->pgcCells(1).back().cellId, 55);
    EXPECT_EQ(r->programMap(1), (std::vector<uint8_t>{1, 100, 255}));
    EXPECT_EQ(r->pgcInfo(2, &t), 0u);
    EXPECT_EQ(t.minutes, 1);
}

TEST(IfoReaderStreams, VideoBytesComeFromOffsets512And513)
{
    TempDir dir;
    for (auto [b0, b1] : {std::pair<int, int>{0x5D, 0x00}, {0x00, 0x0F}, {0xFF, 0xFF}, {0x30, 0x0C}}) {
        WriteImage(dir, IfoImage().videoAttributes(uint8_t(b0), uint8_t(b1)).addPgc(Pgc().cell(1, 1, 0, 0, 1, 0)));
        auto r = IfoReader::Open(dir.file("VTS_01_0.IFO"));
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->videoAttribute0(), b0);
        EXPECT_EQ(r->videoAttribute1(), b1);
    }
}

bool ContainsAny(const std::string& text, std::initializer_list<const char*> words)
{
    return std::any_of(words.begin(), words.end(), [&](const char* w) { return text.find(w) != std::string::npos; });
}

bool Printable(const std::string& text)
{
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

TEST(IfoReaderStreams, AudioAndSubPictureDescriptionsInClearWords)
{
    TempDir dir;
    WriteImage(dir, IfoImage()
                        .addAudio("en", AudioFormat::Ac3, 2)
                        .addAudio("de", AudioFormat::Lpcm, 2, 96000, 2)
                        .addAudio("ja", AudioFormat::Dts, 6)
                        .addAudio("", AudioFormat::Mpeg1, 1)
                        .addAudio("qx", AudioFormat::Mpeg2Ext, 8)
                        .addSubPicture("fr")
                        .addSubPicture("")
                        .addSubPicture("nl")
                        .addPgc(Pgc().cell(1, 1, 0, 0, 1, 0).programMap({1})));
    auto r = IfoReader::Open(dir.file("VTS_01_0.IFO"));
    ASSERT_NE(r, nullptr);
    const auto& a = r->audioDescriptions();
    ASSERT_EQ(a.size(), 5u);
    for (const std::string& d : a)
        EXPECT_TRUE(Printable(d)) << d;

    EXPECT_TRUE(ContainsAny(a[0], {"English"})) << a[0];
    EXPECT_TRUE(ContainsAny(a[0], {"en"})) << a[0];
    EXPECT_TRUE(ContainsAny(a[0], {"AC-3", "AC3", "Dolby"})) << a[0];
    EXPECT_TRUE(ContainsAny(a[0], {"2 ch", "2ch", "2 channels", "stereo", "Stereo"})) << a[0];
    EXPECT_TRUE(ContainsAny(a[0], {"48 kHz", "48kHz", "48000"})) << a[0];

    EXPECT_TRUE(ContainsAny(a[1], {"German"})) << a[1];
    EXPECT_TRUE(ContainsAny(a[1], {"de"})) << a[1];
    EXPECT_TRUE(ContainsAny(a[1], {"LPCM", "PCM"})) << a[1];
    EXPECT_TRUE(ContainsAny(a[1], {"96 kHz", "96kHz", "96000"})) << a[1];
    EXPECT_FALSE(ContainsAny(a[1], {"48 kHz", "48kHz", "48000"})) << a[1];

    EXPECT_TRUE(ContainsAny(a[2], {"Japanese"})) << a[2];
    EXPECT_TRUE(ContainsAny(a[2], {"DTS"})) << a[2];
    EXPECT_TRUE(ContainsAny(a[2], {"6 ch", "6ch", "6 channels", "5.1"})) << a[2];

    EXPECT_TRUE(ContainsAny(a[3], {"MPEG-1", "MPEG1", "MPEG 1", "MP2"})) << a[3];
    EXPECT_TRUE(ContainsAny(a[3], {"1 ch", "1ch", "1 channel", "mono", "Mono"})) << a[3];
    EXPECT_TRUE(ContainsAny(a[4], {"qx"})) << a[4];
    EXPECT_TRUE(ContainsAny(a[4], {"8 ch", "8ch", "8 channels", "7.1"})) << a[4];

    const auto& s = r->subPictureDescriptions();
    ASSERT_EQ(s.size(), 3u);
    for (const std::string& d : s)
        EXPECT_TRUE(Printable(d)) << d;
    EXPECT_TRUE(ContainsAny(s[0], {"French"})) << s[0];
    EXPECT_TRUE(ContainsAny(s[0], {"fr"})) << s[0];
    EXPECT_TRUE(ContainsAny(s[2], {"Dutch"})) << s[2];
    EXPECT_FALSE(ContainsAny(s[1], {"French", "Dutch", "English"})) << s[1];
}

TEST(IfoReaderStreams, LanguageBytesThatAreNoLetters)
{
    TempDir dir;
    const IfoImage image = IfoImage()
                               .addAudio("en", AudioFormat::Ac3, 2)
                               .addSubPicture("en")
                               .addPgc(Pgc().cell(1, 1, 0, 0, 1, 0).programMap({1}))
                               .poke16(516 + 2, 0x00FF)   // audio language
                               .poke16(598 + 2, 0x0A0D);  // sub-picture language: LF CR
    WriteImage(dir, image);
    auto r = IfoReader::Open(dir.file("VTS_01_0.IFO"));
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->audioDescriptions().size(), 1u);
    ASSERT_EQ(r->subPictureDescriptions().size(), 1u);
    // The report shows them one per line: no control bytes, no line breaks.
    EXPECT_TRUE(Printable(r->audioDescriptions()[0])) << r->audioDescriptions()[0];
    EXPECT_TRUE(Printable(r->subPictureDescriptions()[0])) << r->subPictureDescriptions()[0];
}

}  // namespace
}  // namespace pelvano::test
