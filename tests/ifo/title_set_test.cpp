// Our IFO parsers against libdvdread 6.1.3 as the oracle, over the real
// title sets, the kept fuzz findings, synthetic shapes and thousands of
// deterministic mutations of them; and the test IFO writer's images read
// back as written.

#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>

#include "ifo/ifo_bytes.h"
#include "ifo/ifo_precheck.h"
#include "ifo/title_set.h"
#include "ifo/title_table.h"
#include "load_helpers.h"

namespace pelvano::test {
namespace {

namespace fs = std::filesystem;

IfoTime TimeOf(const dvd_time_t& t)
{
    const auto bcd = [](unsigned v) { return static_cast<uint8_t>((v >> 4) * 10 + (v & 0x0f)); };
    return {bcd(t.hour), bcd(t.minute), bcd(t.second), bcd(t.frame_u & 0x3f)};
}

uint8_t U8(unsigned bits)
{
    return static_cast<uint8_t>(bits);
}

TitleSet ToTitleSet(const ifo_handle_t& ifo)
{
    TitleSet set;
    const vtsi_mat_t& mat = *ifo.vtsi_mat;
    const video_attr_t& v = mat.vts_video_attr;
    set.videoAttributes = {
        U8(v.mpeg_version << 6 | v.video_format << 4 | v.display_aspect_ratio << 2 | v.permitted_df),
        U8(v.line21_cc_1 << 7 | v.line21_cc_2 << 6 | v.unknown1 << 5 | v.bit_rate << 4 | v.picture_size << 2 |
           v.letterboxed << 1 | v.film_mode)};
    for (const audio_attr_t& a :
         std::vector(mat.vts_audio_attr, mat.vts_audio_attr + std::min<int>(mat.nr_of_vts_audio_streams, 8)))
        set.audio.push_back(DescribeAudio({U8(a.audio_format), U8(a.quantization), U8(a.sample_frequency),
                                           U8(a.channels), U8(a.lang_type), a.lang_code}));
    for (const subp_attr_t& s :
         std::vector(mat.vts_subp_attr, mat.vts_subp_attr + std::min<int>(mat.nr_of_vts_subp_streams, 32)))
        set.subPictures.push_back(DescribeSubPicture(U8(s.type), s.lang_code));
    for (int p = 0; p < ifo.vts_pgcit->nr_of_pgci_srp; ++p) {
        pelvano::Pgc& out = set.pgcs.emplace_back();
        const pgc_t* pgc = ifo.vts_pgcit->pgci_srp[p].pgc;
        if (!pgc)
            continue;
        out.time = TimeOf(pgc->playback_time);
        if (pgc->cell_playback && pgc->cell_position) {
            std::vector<CellBlock> blocks;
            blocks.reserve(pgc->nr_of_cells);
            for (int c = 0; c < pgc->nr_of_cells; ++c)
                blocks.push_back(
                    {U8(pgc->cell_playback[c].block_mode), U8(pgc->cell_playback[c].block_type)});
            const std::vector<uint8_t> angles = AngleBytes(blocks);
            for (int c = 0; c < pgc->nr_of_cells; ++c)
                out.cells.push_back({pgc->cell_position[c].vob_id_nr, pgc->cell_position[c].cell_nr,
                                     angles[c], TimeOf(pgc->cell_playback[c].playback_time)});
        }
        if (pgc->program_map)
            out.programMap.assign(pgc->program_map, pgc->program_map + pgc->nr_of_programs);
    }
    for (int t = 0; t < ifo.vts_ptt_srpt->nr_of_srpts; ++t) {
        const ttu_t& title = ifo.vts_ptt_srpt->title[t];
        std::vector<PartOfTitle>& parts = set.titleParts.emplace_back();
        for (int j = 0; j < title.nr_of_ptts; ++j)
            parts.push_back({title.ptt[j].pgcn, title.ptt[j].pgn});
    }
    return set;
}

// libdvdread's reading of IFO bytes, from a private folder holding nothing
// but the file it is asked for. It takes sizes and offsets on trust and
// reads outside its buffers on some of what our checks refuse (a title
// table claiming 4 GB overruns a read buffer it sizes in 32 bits), so it
// only sees what they accept, as the program used to hand it.
class Oracle {
public:
    Oracle()
    {
        static const dvd_logger_cb kQuiet = {[](void*, dvd_logger_level_t, const char*, va_list) {}};
        dvd_ = DVDOpen2(nullptr, &kQuiet, dir_.path().c_str());
    }
    ~Oracle() { DVDClose(dvd_); }
    Oracle(const Oracle&) = delete;
    Oracle& operator=(const Oracle&) = delete;

    std::optional<TitleSet> titleSet(const std::string& bytes) const
    {
        if (CheckIfoTables(bytes))
            return std::nullopt;
        WriteFile(dir_.file("VTS_01_0.IFO"), bytes);
        ifo_handle_t* ifo = ifoOpen(dvd_, 1);
        std::optional<TitleSet> set;
        if (ifo && ifo->vtsi_mat && ifo->vts_pgcit && ifo->vts_ptt_srpt)
            set = ToTitleSet(*ifo);
        ifoClose(ifo);
        return set;
    }

    std::optional<std::vector<DiscTitle>> titleTable(const std::string& bytes) const
    {
        if (CheckTitleTable(bytes))
            return std::nullopt;
        WriteFile(dir_.file("VIDEO_TS.IFO"), bytes);
        ifo_handle_t* ifo = ifoOpenVMGI(dvd_);
        std::optional<std::vector<DiscTitle>> titles;
        if (ifo && ifoRead_TT_SRPT(ifo)) {
            titles.emplace();
            for (int i = 0; i < ifo->tt_srpt->nr_of_srpts; ++i) {
                const title_info_t& t = ifo->tt_srpt->title[i];
                titles->push_back({i + 1, t.title_set_nr, t.vts_ttn, t.nr_of_angles, t.nr_of_ptts});
            }
        } else if (ifo) {
            ifo->tt_srpt = nullptr;  // freed, but maybe left behind for ifoClose to free again
        }
        ifoClose(ifo);
        return titles;
    }

private:
    TempDir dir_;
    dvd_reader_t* dvd_ = nullptr;
};

// One to three changes inside the given byte ranges (header fields and
// whole tables): a byte replaced or with a bit flipped, a 16- or 32-bit
// number set to 0, a small value, 7 or all ones; now and then the file cut
// short. A fixed generator: the same cases on every run.
class Mutator {
public:
    explicit Mutator(uint64_t seed) : state_(seed) {}

    std::string operator()(std::string bytes, const std::vector<std::pair<uint64_t, uint64_t>>& ranges)
    {
        for (uint32_t n = 1 + below(3); n > 0 && bytes.size() >= 4; --n) {
            const auto [begin, end] = ranges[below(static_cast<uint32_t>(ranges.size()))];
            const uint64_t at =
                std::min<uint64_t>(begin + below(static_cast<uint32_t>(end - begin)), bytes.size() - 4);
            const uint32_t kind = below(5), width = kind == 2 ? 2 : 4;
            const uint32_t values[] = {0, 1 + below(8), 7, 0xFFFFFFFF}, value = values[below(4)];
            if (kind == 0)
                bytes[at] = static_cast<char>(below(256));
            else if (kind == 1)
                bytes[at] = static_cast<char>(bytes[at] ^ (1 << below(8)));
            else if (kind < 4)
                for (uint32_t i = 0; i < width; ++i)
                    bytes[at / width * width + i] = static_cast<char>(value >> (8 * (width - 1 - i)));
            else if (below(4) == 0)
                bytes.resize(below(static_cast<uint32_t>(bytes.size())));
        }
        return bytes;
    }

private:
    uint32_t below(uint32_t n)
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<uint32_t>(state_ % n);
    }

    uint64_t state_;
};

// The IFO and BUP files of the sample and the fixtures whose names start so.
std::vector<std::string> FixtureFiles(const std::string& prefix)
{
    std::vector<std::string> files;
    for (const std::string& dir : TitleSetFolders())
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().filename().string().rfind(prefix, 0) == 0 && e.path().extension() != ".txt" &&
                e.path().extension() != ".xml")
                files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

// Same fields, or both refuse with the check's reason; prints the counts.
template <typename Parsed>
void ExpectAgreement(const char* what, const std::vector<std::string>& cases,
                     const std::function<Parsed(std::string_view)>& parse,
                     const std::function<std::optional<std::string>(std::string_view)>& check,
                     const std::function<std::optional<Parsed>(const std::string&)>& oracle)
{
    int identical = 0, bothRefused = 0, different = 0;
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::optional<Parsed> want = oracle(cases[i]);
        std::optional<Parsed> got;
        const std::string error = MessageOf([&] { got = parse(cases[i]); });
        if (got && want && *got == *want) {
            ++identical;
        } else if (!got && !want && error == check(cases[i]).value_or("(accepted)")) {
            ++bothRefused;
        } else {
            ++different;
            ADD_FAILURE() << what << " case " << i << ": " << (got ? "parsed" : error) << ", libdvdread "
                          << (want ? "parsed" : "refused");
        }
    }
    std::printf("%s: %d identical, %d refused by both, %d different\n", what, identical, bothRefused,
                different);
    // Enough of each for the comparison to mean something.
    EXPECT_GT(identical, static_cast<int>(cases.size() / 4));
    EXPECT_GT(bothRefused, static_cast<int>(cases.size() / 4));
}

// Well-formed images of the shapes the writer makes: ordinary cells, raw
// times, angle blocks, times by default and as given, the most cells, a
// time map, no program chain.
std::vector<IfoImage> WrittenImages()
{
    CellSpec raw = MakeCell(3, 4, 0, 0, 0, 0);
    raw.rawTime = std::array<uint8_t, 4>{0x01, 0x59, 0x58, 0xC0 | 0x29};
    CellSpec bare = MakeCell(3, 5, 0, 0, 0, 0);
    bare.rawTime = std::array<uint8_t, 4>{0x00, 0x00, 0x07, 0x15};  // no rate bits
    Pgc many;
    for (int c = 0; c < 255; ++c)
        many.cell(static_cast<uint16_t>(1 + c / 10), static_cast<uint8_t>(1 + c % 10), 0, 0, 1, 0);
    return {IfoImage().addPgc(Pgc()
                                  .cell(1, 1, 0, 0, 10, 12)
                                  .cell(1, 2, 0, 1, 0, 0)
                                  .cell(2, 1, 1, 2, 3, 24)
                                  .programMap({1, 2, 3})),
            IfoImage()
                .ntsc()
                .addPgc(Pgc()
                            .cell(1, 2, 12, 34, 56, 23)
                            .rawCell(raw)
                            .rawCell(bare)
                            .angleBlock({MakeCell(4, 1, 0, 0, 6, 0), MakeCell(5, 1, 0, 0, 6, 0),
                                         MakeCell(6, 1, 0, 0, 6, 0)})
                            .angleBlock({MakeCell(8, 1, 0, 0, 7, 0), MakeCell(9, 1, 0, 0, 7, 0)})
                            .rawTime({0x23, 0x45, 0x07, 0x40 | 0x19})
                            .programMap({1, 4}))
                .addPgc(Pgc().cell(8, 1, 0, 20, 0, 0).time(0, 20, 0, 0).programMap({1}))
                .addPgc(Pgc()
                            .cell(1, 1, 0, 0, 0, 1)
                            .angleBlock({MakeCell(2, 1, 0, 0, 30, 0), MakeCell(3, 1, 0, 0, 31, 0)})
                            .cell(7, 1, 0, 0, 45, 29))
                .timeMap(),
            IfoImage().addPgc(many.programMap({1, 100, 255})), IfoImage()};
}

// The shapes real authoring tools do not make.
std::vector<IfoImage> SyntheticTitleSets()
{
    const Pgc one = Pgc().cell(1, 1, 0, 0, 1, 0).programMap({1});
    const IfoImage base = IfoImage().addPgc(one);
    const IfoImage::Layout l = base.layout();
    const auto at = [](uint32_t sector, uint32_t offset) { return sector * IfoImage::kSector + offset; };
    const IfoImage five = IfoImage().addPgc(one).addPgc(one).addPgc(one).addPgc(one).addPgc(one);
    const uint32_t ptt = at(five.layout().pttSrptSector, 8);  // titles' parts at 28, 32 ... 44
    using T = IfoImage::Table;
    std::vector<IfoImage> images = {
        IfoImage(five).poke32(ptt + 8, 28),  // a title inside another
        IfoImage(five).poke32(ptt + 4, 44).poke32(ptt + 8, 28).poke32(ptt + 12, 44).poke32(ptt + 16, 28),
        IfoImage().addPgc(Pgc().cell(1, 1, 0, 0, 1, 0).programMap({1, 1, 1})).poke8(17, 0xAA),
        IfoImage(base).addAudio("en", AudioFormat::Ac3, 2).audioCount(200).subPictureCount(250),
        IfoImage(base).pgcCount(5000),
        IfoImage(base).pgcCount(3),
        IfoImage(base).tableSector(T::TimeMap, 9000),
        IfoImage().addPgc(Pgc(one).startByte(0x7FFFFFF0)),
        IfoImage().addPgc(Pgc(one).cellPlaybackOffset(0xFFF0)),
        IfoImage().addPgc(Pgc(one).cellPositionOffset(0xFFF0)),
        IfoImage().addPgc(Pgc(one).programMapOffset(0xFFF0)),
        IfoImage().addPgc(Pgc(one).cellCount(255)),
        IfoImage().addPgc(Pgc(one).programCount(255)),
        IfoImage().addPgc(Pgc(one).cellPlaybackOffset(0).cellCount(9)),
        IfoImage(base).addPgc(Pgc(one).startByte(l.pgcOffsets[0] - at(l.pgcitSector, 0))),  // one chain twice
        IfoImage(base).poke32(at(l.cellAddressSector, 4), 0xFFFFFFF0u),
        IfoImage(base).poke32(216, l.vobuAddressSector).poke32(at(l.vobuAddressSector, 0), 0xFFFFF800u),
        IfoImage(base).poke32(at(l.pttSrptSector, 4), 0),
        IfoImage(base).poke32(at(l.pttSrptSector, 8), 0xFFFF)};
    for (T t : {T::PttSrpt, T::Pgcit, T::CellAddress, T::VobuAddress}) {
        images.push_back(IfoImage(base).tableSector(t, 9000));
        images.push_back(IfoImage(base).tableSector(t, 0));
    }
    for (const IfoImage& image : WrittenImages())
        images.push_back(image);
    return images;
}

TEST(TitleSetParser, GivesWhatLibdvdreadGivesOrRefusesWithTheChecksReason)
{
    std::vector<std::string> seeds, cases;
    for (const std::string& f : FixtureFiles("VTS_"))
        seeds.push_back(ReadFile(f));
    cases = seeds;
    for (const auto& e :
         fs::directory_iterator(fs::path(PELVANO_SUPPORT_DIR).parent_path() / "robustness/cases/ifo"))
        cases.push_back(ReadFile(e.path().string()));
    for (const IfoImage& image : SyntheticTitleSets())
        cases.push_back(image.bytes());
    Mutator mutate(17);
    for (int i = 0; i < 4000; ++i) {
        const std::string& seed = seeds[i % seeds.size()];
        const IfoBytes img(seed);
        std::vector<std::pair<uint64_t, uint64_t>> ranges = {{0xC8, 0xE8}, {0x200, 0x316}};
        for (uint64_t field : {ifo_field::kPttSrpt, ifo_field::kPgcit})
            ranges.emplace_back(img.sectorAt(field),
                                img.sectorAt(field) + img.tableLength(img.sectorAt(field), 4));
        cases.push_back(mutate(seed, ranges));
    }
    const Oracle oracle;
    ExpectAgreement<TitleSet>("title sets", cases, ParseTitleSet, CheckIfoTables,
                              [&](const std::string& bytes) { return oracle.titleSet(bytes); });
}

TEST(TitleTableParser, GivesWhatLibdvdreadGivesOrRefusesWithTheChecksReason)
{
    std::vector<std::string> seeds, cases;
    for (const std::string& f : FixtureFiles("VIDEO_TS"))
        seeds.push_back(ReadFile(f));
    cases = seeds;
    cases.push_back(VideoManagerBytes());
    for (const std::string& f : FixtureFiles("VTS_"))
        cases.push_back(ReadFile(f));
    Mutator mutate(29);
    for (int i = 0; i < 2000; ++i) {
        const std::string& seed = seeds[i % seeds.size()];
        const IfoBytes img(seed);
        const uint64_t base = img.sectorAt(ifo_field::kTitleTable);
        cases.push_back(mutate(seed, {{0xC4, 0xC8}, {base, base + img.tableLength(base, 12)}}));
    }
    const Oracle oracle;
    ExpectAgreement<std::vector<DiscTitle>>(
        "title tables", cases, ParseTitleTable, CheckTitleTable,
        [&](const std::string& bytes) { return oracle.titleTable(bytes); });
}

// Known answers for what the oracle shares with the parser: angle bytes
// (ordinary cells, then two blocks back to back) and BCD times without their
// frame-rate bits, in a chain's time and in cells with and without them.
TEST(TitleSetParser, KnownTimesAndAngleBytes)
{
    const pelvano::Pgc pgc = ParseTitleSet(WrittenImages()[1].bytes()).pgcs.at(0);
    std::vector<uint8_t> angles;
    for (const IfoCell& cell : pgc.cells)
        angles.push_back(cell.angle);
    EXPECT_EQ(angles, (std::vector<uint8_t>{0x11, 0x11, 0x11, 0x31, 0x32, 0x33, 0x21, 0x22}));
    EXPECT_EQ(pgc.time, (IfoTime{23, 45, 7, 19}));
    EXPECT_EQ(pgc.cells[1].length, (IfoTime{1, 59, 58, 29}));
    EXPECT_EQ(pgc.cells[2].length, (IfoTime{0, 0, 7, 15}));
}

bool ContainsAll(const std::string& text, std::initializer_list<const char*> words)
{
    return std::all_of(words.begin(), words.end(),
                       [&](const char* w) { return text.find(w) != std::string::npos; });
}

// The shapes the real title sets lack; those are compared with lsdvd.
TEST(TitleSetParser, StreamsInClearWordsOnOneLine)
{
    const TitleSet set =
        ParseTitleSet(IfoImage()
                          .addAudio("de", AudioFormat::Lpcm, 2, 96000, 2)
                          .addAudio("ja", AudioFormat::Dts, 6)
                          .addAudio("", AudioFormat::Mpeg1, 1)
                          .addAudio("qx", AudioFormat::Mpeg2Ext, 8)
                          .addSubPicture("nl")
                          .addSubPicture("")
                          .addSubPicture("en")
                          .poke16(598 + 2 * 6 + 2, 0x0A0D)  // last sub-picture language: LF CR
                          .bytes());
    const auto& a = set.audio;
    ASSERT_EQ(a.size(), 4u);
    EXPECT_TRUE(ContainsAll(a[0], {"German", "de", "LPCM", "96 kHz"})) << a[0];
    EXPECT_TRUE(ContainsAll(a[1], {"Japanese", "DTS", "6 ch"})) << a[1];
    EXPECT_TRUE(ContainsAll(a[2], {"MPEG-1", "1 ch"})) << a[2];
    EXPECT_TRUE(ContainsAll(a[3], {"qx", "8 ch"})) << a[3];
    const auto& s = set.subPictures;
    ASSERT_EQ(s.size(), 3u);
    EXPECT_TRUE(ContainsAll(s[0], {"Dutch", "nl"})) << s[0];
    EXPECT_EQ(s[1].find("Dutch"), std::string::npos);
    // The report shows them one per line: no control bytes, no line breaks.
    for (const auto* list : {&a, &s})
        for (const std::string& d : *list)
            EXPECT_TRUE(!d.empty() && std::all_of(d.begin(), d.end(), [](char c) {
                return c >= 0x20 && c < 0x7F;
            })) << d;
}

}  // namespace
}  // namespace pelvano::test
