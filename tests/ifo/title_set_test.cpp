// Our IFO parsers against libdvdread 6.1.3 as the oracle, over the real
// title sets, the kept fuzz findings, synthetic shapes and thousands of
// deterministic mutations of them.

#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "ifo/ifo_bytes.h"
#include "ifo/ifo_precheck.h"
#include "ifo/title_set.h"
#include "ifo/title_table.h"
#include "ifo_test_helpers.h"

namespace pelvano::test {
namespace {

namespace fs = std::filesystem;

uint8_t FromBcd(uint8_t v)
{
    return static_cast<uint8_t>((v >> 4) * 10 + (v & 0x0f));
}

IfoTime TimeOf(const dvd_time_t& t)
{
    return {FromBcd(t.hour), FromBcd(t.minute), FromBcd(t.second), FromBcd(t.frame_u & 0x3f)};
}

// libdvdread's reading of IFO bytes, from a private folder holding nothing
// but the file it is asked for.
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

    // libdvdread takes sizes and offsets on trust and reads outside its
    // buffers on some of what the checks refuse (a title table claiming 4 GB
    // overruns a read buffer it sizes in 32 bits), so it only sees what they
    // accept, as the program used to hand it.
    std::optional<TitleSet> titleSet(const std::string& bytes) const
    {
        if (CheckIfoTables(bytes))
            return std::nullopt;
        WriteFile(dir_.file("VTS_01_0.IFO"), bytes);
        ifo_handle_t* ifo = ifoOpen(dvd_, 1);
        std::optional<TitleSet> set;
        if (ifo && ifo->vtsi_mat && ifo->vts_pgcit && ifo->vts_ptt_srpt)
            set = Convert(*ifo);
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
        if (ifo && !ifoRead_TT_SRPT(ifo)) {
            // On a table that does not read it frees it and may leave the
            // pointer behind for ifoClose to free again.
            ifo->tt_srpt = nullptr;
        } else if (ifo) {
            titles.emplace();
            for (int i = 0; i < ifo->tt_srpt->nr_of_srpts; ++i) {
                const title_info_t& t = ifo->tt_srpt->title[i];
                titles->push_back({i + 1, t.title_set_nr, t.vts_ttn, t.nr_of_angles, t.nr_of_ptts});
            }
        }
        ifoClose(ifo);
        return titles;
    }

private:
    static TitleSet Convert(const ifo_handle_t& ifo)
    {
        TitleSet set;
        const vtsi_mat_t& mat = *ifo.vtsi_mat;
        const video_attr_t& v = mat.vts_video_attr;
        set.videoAttributes = {static_cast<uint8_t>(v.mpeg_version << 6 | v.video_format << 4 |
                                                    v.display_aspect_ratio << 2 | v.permitted_df),
                               static_cast<uint8_t>(v.line21_cc_1 << 7 | v.line21_cc_2 << 6 |
                                                    v.unknown1 << 5 | v.bit_rate << 4 | v.picture_size << 2 |
                                                    v.letterboxed << 1 | v.film_mode)};
        const auto u8 = [](unsigned bits) { return static_cast<uint8_t>(bits); };
        for (int i = 0; i < std::min<int>(mat.nr_of_vts_audio_streams, 8); ++i) {
            const audio_attr_t& a = mat.vts_audio_attr[i];
            set.audio.push_back(DescribeAudio({u8(a.audio_format), u8(a.quantization), u8(a.sample_frequency),
                                               u8(a.channels), u8(a.lang_type), a.lang_code}));
        }
        for (int i = 0; i < std::min<int>(mat.nr_of_vts_subp_streams, 32); ++i)
            set.subPictures.push_back(
                DescribeSubPicture(u8(mat.vts_subp_attr[i].type), mat.vts_subp_attr[i].lang_code));
        for (int p = 0; p < ifo.vts_pgcit->nr_of_pgci_srp; ++p) {
            pelvano::Pgc& out = set.pgcs.emplace_back();
            const pgc_t* pgc = ifo.vts_pgcit->pgci_srp[p].pgc;
            if (!pgc)
                continue;
            out.time = TimeOf(pgc->playback_time);
            if (pgc->cell_playback && pgc->cell_position) {
                std::vector<CellBlock> blocks;
                for (int c = 0; c < pgc->nr_of_cells; ++c)
                    blocks.push_back(
                        {u8(pgc->cell_playback[c].block_mode), u8(pgc->cell_playback[c].block_type)});
                const std::vector<uint8_t> angles = AngleBytes(blocks);
                for (int c = 0; c < pgc->nr_of_cells; ++c)
                    out.cells.push_back({pgc->cell_position[c].vob_id_nr, pgc->cell_position[c].cell_nr,
                                         angles[c], TimeOf(pgc->cell_playback[c].playback_time)});
            }
            if (pgc->program_map)
                out.programMap.assign(pgc->program_map, pgc->program_map + pgc->nr_of_programs);
        }
        for (int t = 0; t < ifo.vts_ptt_srpt->nr_of_srpts; ++t) {
            std::vector<PartOfTitle>& parts = set.titleParts.emplace_back();
            for (int j = 0; j < ifo.vts_ptt_srpt->title[t].nr_of_ptts; ++j)
                parts.push_back(
                    {ifo.vts_ptt_srpt->title[t].ptt[j].pgcn, ifo.vts_ptt_srpt->title[t].ptt[j].pgn});
        }
        return set;
    }

    TempDir dir_;
    dvd_reader_t* dvd_ = nullptr;
};

// A fixed generator: the same mutations on every run and every machine.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint32_t below(uint32_t n)
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<uint32_t>(state_ % n);
    }

private:
    uint64_t state_;
};

// Byte ranges worth mutating: the header fields we read and whole tables.
struct Range {
    uint64_t begin, end;
};

// One to three changes inside `ranges`: a byte replaced, nudged or with a
// bit flipped, a 16- or 32-bit number set to 0, a small value or all ones;
// now and then the file cut short.
std::string Mutate(std::string bytes, const std::vector<Range>& ranges, Random& r)
{
    for (uint32_t n = 1 + r.below(3); n > 0 && bytes.size() >= 4; --n) {
        const Range& range = ranges[r.below(static_cast<uint32_t>(ranges.size()))];
        const uint64_t at = std::min<uint64_t>(
            range.begin + r.below(static_cast<uint32_t>(range.end - range.begin)), bytes.size() - 4);
        auto& byte = reinterpret_cast<uint8_t&>(bytes[at]);
        const std::array<uint32_t, 4> values = {0, 1 + r.below(8), 7, 0xFFFFFFFF};
        switch (r.below(6)) {
        case 0:
            byte = static_cast<uint8_t>(r.below(256));
            break;
        case 1:
            byte = static_cast<uint8_t>(byte + (r.below(2) ? 1 : -1));
            break;
        case 2:
            byte ^= static_cast<uint8_t>(1u << r.below(8));
            break;
        case 3: {
            const uint32_t v = values[r.below(4)];
            bytes[at & ~1] = static_cast<char>(v >> 8);
            bytes[(at & ~1) + 1] = static_cast<char>(v);
            break;
        }
        case 4: {
            const uint32_t v = values[r.below(4)];
            for (int i = 0; i < 4; ++i)
                bytes[(at & ~3) + i] = static_cast<char>(v >> (24 - 8 * i));
            break;
        }
        default:
            if (r.below(4) == 0)
                bytes.resize(r.below(static_cast<uint32_t>(bytes.size())));
            break;
        }
    }
    return bytes;
}

std::vector<Range> TitleSetRanges(const std::string& bytes)
{
    const IfoBytes img(bytes);
    std::vector<Range> ranges = {{0xC8, 0xE8}, {0x200, 0x316}};
    for (uint64_t field : {ifo_field::kPttSrpt, ifo_field::kPgcit}) {
        const uint64_t base = img.sectorAt(field);
        ranges.push_back({base, base + img.tableLength(base, 4)});
    }
    return ranges;
}

std::vector<Range> TitleTableRanges(const std::string& bytes)
{
    const IfoBytes img(bytes);
    const uint64_t base = img.sectorAt(ifo_field::kTitleTable);
    return {{0xC4, 0xC8}, {base, base + img.tableLength(base, 12)}};
}

std::vector<std::string> FilesIn(const fs::path& dir, const std::string& prefix)
{
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(prefix, 0) == 0 && (e.path().extension() == ".IFO" || e.path().extension() == ".BUP"))
            files.push_back(e.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> FixtureFiles(const std::string& prefix)
{
    std::vector<std::string> files = FilesIn(ExamplePath(""), prefix);
    for (const auto& e : fs::directory_iterator(FixturePath("dvd")))
        if (e.is_directory())
            for (const std::string& f : FilesIn(e.path(), prefix))
                files.push_back(f);
    return files;
}

struct Tally {
    int identical = 0, bothRefused = 0, different = 0;
};

// The shapes real authoring tools do not make.
std::vector<std::string> SyntheticTitleSets()
{
    const Pgc one = Pgc().cell(1, 1, 0, 0, 1, 0).programMap({1});
    const IfoImage base = IfoImage().addPgc(one);
    const IfoImage::Layout l = base.layout();
    Pgc many;
    for (int c = 0; c < 255; ++c)
        many.cell(static_cast<uint16_t>(1 + c / 100), static_cast<uint8_t>(1 + c % 100), 0, 0, 2, 0);
    using T = IfoImage::Table;
    std::vector<IfoImage> images = {
        IfoImage().addPgc(Pgc().cell(1, 1, 0, 0, 1, 0).programMap({1, 1, 1})).poke8(17, 0xAA),
        IfoImage().addAudio("en", AudioFormat::Ac3, 2).audioCount(200).subPictureCount(250).addPgc(one),
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
        IfoImage().addPgc(many.programMap({1, 255})),
        IfoImage().addPgc(one).addPgc(
            Pgc(one).startByte(l.pgcOffsets[0] - l.pgcitSector * IfoImage::kSector)),
        IfoImage(base).poke32(l.cellAddressSector * IfoImage::kSector + 4, 0xFFFFFFF0u),
        IfoImage(base)
            .poke32(216, l.vobuAddressSector)
            .poke32(l.vobuAddressSector * IfoImage::kSector, 0xFFFFF800u),
        IfoImage(base).poke32(l.pttSrptSector * IfoImage::kSector + 4, 0),
        IfoImage(base).poke32(l.pttSrptSector * IfoImage::kSector + 8, 0xFFFF)};
    for (T t : {T::PttSrpt, T::Pgcit, T::CellAddress, T::VobuAddress}) {
        images.push_back(IfoImage(base).tableSector(t, 9000));
        images.push_back(IfoImage(base).tableSector(t, 0));
    }
    std::vector<std::string> out;
    for (const IfoImage& image : images)
        out.push_back(image.bytes());
    return out;
}

TEST(TitleSetParser, GivesWhatLibdvdreadGivesOrRefusesWithTheChecksReason)
{
    std::vector<std::pair<std::string, std::string>> cases;  // (what, bytes)
    std::vector<std::string> seeds;
    for (const std::string& f : FixtureFiles("VTS_")) {
        seeds.push_back(ReadFile(f));
        cases.emplace_back(f, seeds.back());
    }
    for (const auto& e :
         fs::directory_iterator(fs::path(PELVANO_SUPPORT_DIR).parent_path() / "robustness/cases/ifo"))
        cases.emplace_back(e.path().string(), ReadFile(e.path().string()));
    for (const std::string& bytes : SyntheticTitleSets())
        cases.emplace_back("synthetic " + std::to_string(cases.size()), bytes);
    Random r(17);
    for (int i = 0; i < 4000; ++i) {
        const std::string& seed = seeds[i % seeds.size()];
        cases.emplace_back("mutation " + std::to_string(i), Mutate(seed, TitleSetRanges(seed), r));
    }

    const Oracle oracle;
    Tally tally;
    for (const auto& [what, bytes] : cases) {
        const std::optional<TitleSet> want = oracle.titleSet(bytes);
        std::optional<TitleSet> got;
        std::string error;
        try {
            got = ParseTitleSet(bytes);
        } catch (const Error& e) {
            error = e.what();
        }
        if (got && want && *got == *want) {
            ++tally.identical;
        } else if (!got && !want && error == CheckIfoTables(bytes).value_or("(accepted)")) {
            ++tally.bothRefused;
        } else {
            ++tally.different;
            ADD_FAILURE() << what << ": " << (got ? "parsed" : error) << " / libdvdread "
                          << (want ? "parsed" : "refused");
        }
    }
    std::printf("title sets: %d identical, %d refused by both, %d different\n", tally.identical,
                tally.bothRefused, tally.different);
    // Enough of each for the comparison to mean something.
    EXPECT_GT(tally.identical, 1000);
    EXPECT_GT(tally.bothRefused, 1000);
}

TEST(TitleTableParser, GivesWhatLibdvdreadGivesOrRefusesWithTheChecksReason)
{
    std::vector<std::string> seeds;
    for (const std::string& f : FixtureFiles("VIDEO_TS"))
        seeds.push_back(ReadFile(f));
    std::vector<std::string> cases = seeds;
    cases.push_back(VideoManagerBytes());
    for (const std::string& f : FixtureFiles("VTS_"))
        cases.push_back(ReadFile(f));
    Random r(29);
    for (int i = 0; i < 2000; ++i) {
        const std::string& seed = seeds[i % seeds.size()];
        cases.push_back(Mutate(seed, TitleTableRanges(seed), r));
    }

    const Oracle oracle;
    Tally tally;
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::optional<std::vector<DiscTitle>> want = oracle.titleTable(cases[i]);
        std::optional<std::vector<DiscTitle>> got;
        std::string error;
        try {
            got = ParseTitleTable(cases[i]);
        } catch (const Error& e) {
            error = e.what();
        }
        if (got && want && *got == *want) {
            ++tally.identical;
        } else if (!got && !want && error == CheckTitleTable(cases[i]).value_or("(accepted)")) {
            ++tally.bothRefused;
        } else {
            ++tally.different;
            ADD_FAILURE() << "case " << i << ": " << (got ? "parsed" : error) << " / libdvdread "
                          << (want ? "parsed" : "refused");
        }
    }
    std::printf("title tables: %d identical, %d refused by both, %d different\n", tally.identical,
                tally.bothRefused, tally.different);
    EXPECT_GT(tally.identical, 500);
    EXPECT_GT(tally.bothRefused, 500);
}

// The decoding the oracle shares with the parser, on shapes with known answers.
TEST(TitleSetParser, BcdTimesWithoutTheFrameRateBitsAndAngleBytes)
{
    CellSpec raw = MakeCell(3, 4, 0, 0, 0, 0);
    raw.rawTime = std::array<uint8_t, 4>{0x01, 0x59, 0x58, 0xC0 | 0x29};
    CellSpec bare = MakeCell(3, 5, 0, 0, 0, 0);
    bare.rawTime = std::array<uint8_t, 4>{0x00, 0x00, 0x07, 0x15};  // no rate bits
    const TitleSet set =
        ParseTitleSet(IfoImage()
                          .pal()
                          .addPgc(Pgc()
                                      .cell(1, 2, 12, 34, 56, 23)
                                      .rawCell(raw)
                                      .rawCell(bare)
                                      .angleBlock({MakeCell(4, 1, 0, 0, 6, 0), MakeCell(5, 1, 0, 0, 6, 0),
                                                   MakeCell(6, 1, 0, 0, 6, 0)})
                                      .angleBlock({MakeCell(8, 1, 0, 0, 7, 0), MakeCell(9, 1, 0, 0, 7, 0)})
                                      .rawTime({0x23, 0x45, 0x07, 0x40 | 0x19})
                                      .programMap({1, 4}))
                          .bytes());
    ASSERT_EQ(set.pgcs.size(), 1u);
    EXPECT_EQ(set.pgcs[0].time, (IfoTime{23, 45, 7, 19}));
    std::vector<std::vector<int>> cells;
    for (const IfoCell& c : set.pgcs[0].cells)
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
    EXPECT_EQ(set.pgcs[0].programMap, (std::vector<uint8_t>{1, 4}));
}

bool ContainsAll(const std::string& text, std::initializer_list<const char*> words)
{
    return std::all_of(words.begin(), words.end(),
                       [&](const char* w) { return text.find(w) != std::string::npos; });
}

// The shapes the real title sets lack; those are compared with lsdvd.
TEST(TitleSetParser, StreamDescriptionsInClearWordsOnOneLine)
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
                          .addPgc(Pgc().cell(1, 1, 0, 0, 1, 0).programMap({1}))
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
