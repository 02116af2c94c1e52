// The synthetic IFO writer checked against libdvdread itself: every
// well-formed image must open with no log message and read back as written.

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>
#include <dvdread/ifo_types.h>

#include "ifo_writer.h"
#include "test_util.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace pelvano::test {
namespace {

struct Log {
    std::vector<std::string> messages;
};

void Collect(void* priv, dvd_logger_level_t, const char* fmt, va_list args)
{
    char buf[512];
    std::vsnprintf(buf, sizeof buf, fmt, args);
    static_cast<Log*>(priv)->messages.emplace_back(buf);
}

// Writes the image as VTS_nn_0.IFO into a folder of its own and opens it.
class Opened {
public:
    // damaged: libdvdread 6.1.3 leaks the tables of a PGC it fails to read;
    // that is its own business here, not the writer's.
    Opened(const IfoImage& image, int titleSet = 1, bool damaged = false)
    {
#if defined(__SANITIZE_ADDRESS__)
        if (damaged)
            __lsan_disable();
#else
        (void)damaged;
#endif
        char name[32];
        std::snprintf(name, sizeof name, "VTS_%02d_0.IFO", titleSet);
        image.writeTo(dir_.file(name));
        static const dvd_logger_cb cb = {Collect};
        dvd_ = DVDOpen2(&log_, &cb, dir_.path().c_str());
        // What opening the folder says (no CSS library, no device) is not
        // about the image.
        log_.messages.clear();
        if (dvd_)
            ifo_ = ifoOpen(dvd_, titleSet);
#if defined(__SANITIZE_ADDRESS__)
        if (damaged)
            __lsan_enable();
#endif
    }
    ~Opened()
    {
        if (ifo_)
            ifoClose(ifo_);
        if (dvd_)
            DVDClose(dvd_);
    }
    Opened(const Opened&) = delete;
    Opened& operator=(const Opened&) = delete;

    ifo_handle_t* ifo() const { return ifo_; }
    const std::vector<std::string>& messages() const { return log_.messages; }

private:
    TempDir dir_;
    Log log_;
    dvd_reader_t* dvd_ = nullptr;
    ifo_handle_t* ifo_ = nullptr;
};

uint8_t FromBcd(uint8_t b) { return static_cast<uint8_t>((b >> 4) * 10 + (b & 0x0F)); }

std::string Joined(const std::vector<std::string>& lines)
{
    std::string s;
    for (const auto& l : lines)
        s += l + "\n";
    return s;
}

// Everything the image says about its PGCs, compared field by field.
void ExpectReadsBack(const IfoImage& image, const ifo_handle_t* ifo)
{
    ASSERT_NE(ifo->vts_pgcit, nullptr);
    ASSERT_EQ(ifo->vts_pgcit->nr_of_pgci_srp, image.pgcs().size());
    const uint8_t rateBits = static_cast<uint8_t>(image.rateBits());
    for (size_t p = 0; p < image.pgcs().size(); ++p) {
        SCOPED_TRACE("PGC " + std::to_string(p));
        const Pgc& want = image.pgcs()[p];
        const pgc_t* pgc = ifo->vts_pgcit->pgci_srp[p].pgc;
        ASSERT_NE(pgc, nullptr);
        ASSERT_EQ(pgc->nr_of_cells, want.cells().size());
        ASSERT_EQ(pgc->nr_of_programs, want.map().size());
        for (size_t k = 0; k < want.map().size(); ++k)
            EXPECT_EQ(pgc->program_map[k], want.map()[k]) << "map entry " << k;
        for (size_t c = 0; c < want.cells().size(); ++c) {
            SCOPED_TRACE("cell " + std::to_string(c));
            const CellSpec& w = want.cells()[c];
            const cell_playback_t& cp = pgc->cell_playback[c];
            EXPECT_EQ(cp.block_mode, w.blockMode);
            EXPECT_EQ(cp.block_type, w.blockType);
            EXPECT_EQ(FromBcd(cp.playback_time.hour), w.hours);
            EXPECT_EQ(FromBcd(cp.playback_time.minute), w.minutes);
            EXPECT_EQ(FromBcd(cp.playback_time.second), w.seconds);
            EXPECT_EQ(FromBcd(cp.playback_time.frame_u & 0x3F), w.frames);
            EXPECT_EQ(cp.playback_time.frame_u & 0xC0, rateBits);
            EXPECT_EQ(pgc->cell_position[c].vob_id_nr, w.vobId);
            EXPECT_EQ(pgc->cell_position[c].cell_nr, w.cellId);
        }
    }
}

IfoImage PalThreeChapters()
{
    return IfoImage()
        .pal()
        .addAudio("en", AudioFormat::Ac3, 6)
        .addAudio("de", AudioFormat::Lpcm, 2, 96000, 2)
        .addSubPicture("fr")
        .addSubPicture("")
        .addPgc(Pgc()
                    .cell(1, 1, 0, 0, 10, 12)
                    .cell(1, 2, 0, 1, 0, 0)
                    .cell(2, 1, 1, 2, 3, 24)
                    .programMap({1, 2, 3}));
}

TEST(IfoWriter, PalImageOpensWithoutMessagesAndReadsBack)
{
    const IfoImage image = PalThreeChapters();
    Opened o(image);
    ASSERT_NE(o.ifo(), nullptr) << Joined(o.messages());
    EXPECT_TRUE(o.messages().empty()) << Joined(o.messages());
    ExpectReadsBack(image, o.ifo());

    const vtsi_mat_t* mat = o.ifo()->vtsi_mat;
    EXPECT_EQ(mat->vts_video_attr.mpeg_version, 1u);  // MPEG-2
    EXPECT_EQ(mat->vts_video_attr.video_format, 1u);  // PAL
    ASSERT_EQ(mat->nr_of_vts_audio_streams, 2);
    EXPECT_EQ(mat->vts_audio_attr[0].audio_format, 0u);  // AC-3
    EXPECT_EQ(mat->vts_audio_attr[0].lang_type, 1u);
    EXPECT_EQ(mat->vts_audio_attr[0].lang_code, ('e' << 8) | 'n');
    EXPECT_EQ(mat->vts_audio_attr[0].channels, 5u);  // six channels
    EXPECT_EQ(mat->vts_audio_attr[0].sample_frequency, 0u);
    EXPECT_EQ(mat->vts_audio_attr[1].audio_format, 4u);  // LPCM
    EXPECT_EQ(mat->vts_audio_attr[1].lang_code, ('d' << 8) | 'e');
    EXPECT_EQ(mat->vts_audio_attr[1].channels, 1u);
    EXPECT_EQ(mat->vts_audio_attr[1].sample_frequency, 1u);  // 96 kHz
    EXPECT_EQ(mat->vts_audio_attr[1].quantization, 2u);      // 24 bit
    ASSERT_EQ(mat->nr_of_vts_subp_streams, 2);
    EXPECT_EQ(mat->vts_subp_attr[0].type, 1u);
    EXPECT_EQ(mat->vts_subp_attr[0].lang_code, ('f' << 8) | 'r');
    EXPECT_EQ(mat->vts_subp_attr[1].type, 0u);

    // The PGC time is the sum of the cells: 1:03:13 + 36 frames at 25 fps
    // carries to 1:03:14 + 11 frames.
    const dvd_time_t& t = o.ifo()->vts_pgcit->pgci_srp[0].pgc->playback_time;
    EXPECT_EQ(t.hour, 0x01);
    EXPECT_EQ(t.minute, 0x03);
    EXPECT_EQ(t.second, 0x14);
    EXPECT_EQ(t.frame_u, 0x40 | 0x11);

    ASSERT_NE(o.ifo()->vts_c_adt, nullptr);
    EXPECT_EQ(o.ifo()->vts_c_adt->nr_of_vobs, 2);
    ASSERT_NE(o.ifo()->vts_vobu_admap, nullptr);
    EXPECT_EQ(o.ifo()->vts_tmapt, nullptr);
}

TEST(IfoWriter, RawVideoBytesLandAtOffsets512And513)
{
    const IfoImage image = IfoImage().videoAttributes(0x5D, 0x0F).addPgc(Pgc().cell(1, 1, 0, 0, 1, 0).programMap({1}));
    const std::string bytes = image.bytes();
    ASSERT_GE(bytes.size(), 514u);
    EXPECT_EQ(uint8_t(bytes[512]), 0x5D);
    EXPECT_EQ(uint8_t(bytes[513]), 0x0F);
    EXPECT_EQ(bytes.size() % IfoImage::kSector, 0u);

    Opened o(image);
    ASSERT_NE(o.ifo(), nullptr) << Joined(o.messages());
    const video_attr_t& v = o.ifo()->vtsi_mat->vts_video_attr;
    EXPECT_EQ(v.mpeg_version, 1u);
    EXPECT_EQ(v.video_format, 1u);
    EXPECT_EQ(v.display_aspect_ratio, 3u);
    EXPECT_EQ(v.permitted_df, 1u);
    EXPECT_EQ(v.picture_size, 3u);
    EXPECT_EQ(v.letterboxed, 1u);
    EXPECT_EQ(v.film_mode, 1u);
}

TEST(IfoWriter, NtscAngleBlocksSeveralPgcsAndTimeMap)
{
    const IfoImage image =
        IfoImage()
            .ntsc()
            .addAudio("ja", AudioFormat::Dts, 6)
            .addPgc(Pgc()
                        .cell(1, 1, 0, 0, 0, 1)
                        .angleBlock({MakeCell(2, 1, 0, 0, 30, 0), MakeCell(3, 1, 0, 0, 31, 0),
                                     MakeCell(4, 1, 0, 0, 32, 0)})
                        .angleBlock({MakeCell(5, 1, 0, 0, 5, 15), MakeCell(6, 1, 0, 0, 5, 29)})
                        .cell(7, 1, 0, 0, 40, 0)
                        .programMap({1, 2, 5, 7}))
            .addPgc(Pgc().cell(8, 1, 0, 20, 0, 0).time(0, 20, 0, 0).programMap({1}))
            .timeMap();
    Opened o(image, 3);
    ASSERT_NE(o.ifo(), nullptr) << Joined(o.messages());
    EXPECT_TRUE(o.messages().empty()) << Joined(o.messages());
    ExpectReadsBack(image, o.ifo());

    const pgc_t* pgc = o.ifo()->vts_pgcit->pgci_srp[0].pgc;
    const int modes[] = {0, 1, 2, 3, 1, 3, 0};
    for (int c = 0; c < 7; ++c)
        EXPECT_EQ(pgc->cell_playback[c].block_mode, modes[c]) << c;
    // 1 frame + 30 s + 5 s 15 frames + 40 s, carried at 30 frames.
    EXPECT_EQ(pgc->playback_time.second, 0x15);
    EXPECT_EQ(pgc->playback_time.minute, 0x01);
    EXPECT_EQ(pgc->playback_time.frame_u, 0xC0 | 0x16);
    ASSERT_NE(o.ifo()->vts_tmapt, nullptr);
    EXPECT_EQ(o.ifo()->vts_tmapt->nr_of_tmaps, 2);
}

TEST(IfoWriter, LargeAndEmptyShapesStillOpen)
{
    Pgc many;
    std::vector<uint8_t> map;
    for (int c = 0; c < 255; ++c) {
        many.cell(static_cast<uint16_t>(1 + c / 10), static_cast<uint8_t>(1 + c % 10), 0, 0, 1, 0);
        map.push_back(static_cast<uint8_t>(c + 1));
    }
    many.programMap(map);
    const IfoImage big = IfoImage().addPgc(many);
    Opened o(big);
    ASSERT_NE(o.ifo(), nullptr) << Joined(o.messages());
    EXPECT_TRUE(o.messages().empty()) << Joined(o.messages());
    ExpectReadsBack(big, o.ifo());

    // No PGC at all: libdvdread still opens the title set.
    Opened none(IfoImage{});
    ASSERT_NE(none.ifo(), nullptr) << Joined(none.messages());
    EXPECT_EQ(none.ifo()->vts_pgcit->nr_of_pgci_srp, 0);
}

TEST(IfoWriter, MalformedHooksReachTheBytes)
{
    const IfoImage base = PalThreeChapters();
    const IfoImage::Layout l = base.layout();
    ASSERT_EQ(l.pgcOffsets.size(), 1u);
    const std::string clean = base.bytes();
    EXPECT_EQ(clean.size(), l.sectors * IfoImage::kSector);

    EXPECT_EQ(IfoImage(base).truncate(700).bytes(), clean.substr(0, 700));
    const std::string counted = IfoImage(base).pgcCount(40).audioCount(9).subPictureCount(33).bytes();
    EXPECT_EQ(uint8_t(counted[l.pgcitSector * IfoImage::kSector + 1]), 40);
    EXPECT_EQ(uint8_t(counted[IfoImage::kAudioCountOffset]), 9);
    EXPECT_EQ(uint8_t(counted[IfoImage::kSubPictureCountOffset]), 33);

    const std::string far = IfoImage(base).tableSector(IfoImage::Table::Pgcit, 5000).bytes();
    EXPECT_EQ(uint8_t(far[204 + 2]), 5000 >> 8);
    EXPECT_EQ(uint8_t(far[204 + 3]), 5000 & 0xFF);

    IfoImage cells = IfoImage().addPgc(Pgc().cell(1, 1, 0, 0, 1, 0).cellCount(200).programCount(7));
    const std::string c = cells.bytes();
    EXPECT_EQ(uint8_t(c[cells.layout().pgcOffsets[0] + 2]), 7);
    EXPECT_EQ(uint8_t(c[cells.layout().pgcOffsets[0] + 3]), 200);

    const std::string poked = IfoImage(base).poke16(l.pgcOffsets[0] + 232, 0xFFF0).bytes();
    EXPECT_EQ(uint8_t(poked[l.pgcOffsets[0] + 232]), 0xFF);
    EXPECT_EQ(uint8_t(poked[l.pgcOffsets[0] + 233]), 0xF0);

    EXPECT_EQ(RandomBytes(64, 7), RandomBytes(64, 7));
    EXPECT_NE(RandomBytes(64, 7), RandomBytes(64, 8));
}

TEST(IfoWriter, BrokenImagesAreRefusedOrReadByLibdvdread)
{
    // A cell count past the end of the file: libdvdread drops that PGC.
    Opened past(IfoImage().addPgc(Pgc().cell(1, 1, 0, 0, 1, 0).programMap({1}).cellCount(255)).truncate(
                    3 * IfoImage::kSector + 512),
                1, true);
    if (past.ifo()) {
        EXPECT_EQ(past.ifo()->vts_pgcit->pgci_srp[0].pgc, nullptr);
    }
    // The PGC table beyond the file: no title set.
    Opened far(PalThreeChapters().tableSector(IfoImage::Table::Pgcit, 9000), 1, true);
    EXPECT_EQ(far.ifo(), nullptr);
    EXPECT_FALSE(far.messages().empty());
}

}  // namespace
}  // namespace pelvano::test
