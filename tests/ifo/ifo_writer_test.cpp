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

namespace pelvano::test {
namespace {

void Collect(void* priv, dvd_logger_level_t, const char* fmt, va_list args)
{
    char buf[512];
    std::vsnprintf(buf, sizeof buf, fmt, args);
    *static_cast<std::string*>(priv) += std::string(buf) + "\n";
}

// Writes the image as VTS_nn_0.IFO into a folder of its own and opens it.
class Opened {
public:
    explicit Opened(const IfoImage& image, int titleSet = 1)
    {
        char name[32];
        std::snprintf(name, sizeof name, "VTS_%02d_0.IFO", titleSet);
        image.writeTo(dir_.file(name));
        static const dvd_logger_cb cb = {Collect};
        dvd_ = DVDOpen2(&log_, &cb, dir_.path().c_str());
        log_.clear();  // what opening the folder says (no CSS library, no device) is not about the image
        if (dvd_)
            ifo_ = ifoOpen(dvd_, titleSet);
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
    const std::string& log() const { return log_; }

private:
    TempDir dir_;
    std::string log_;
    dvd_reader_t* dvd_ = nullptr;
    ifo_handle_t* ifo_ = nullptr;
};

uint8_t FromBcd(uint8_t b)
{
    return static_cast<uint8_t>((b >> 4) * 10 + (b & 0x0F));
}

// Opens without a message and reads back every PGC, cell and map entry.
void ExpectReadsBack(const IfoImage& image, const Opened& o)
{
    ASSERT_NE(o.ifo(), nullptr) << o.log();
    EXPECT_EQ(o.log(), "");
    ASSERT_NE(o.ifo()->vts_pgcit, nullptr);
    ASSERT_EQ(o.ifo()->vts_pgcit->nr_of_pgci_srp, image.pgcs().size());
    for (size_t p = 0; p < image.pgcs().size(); ++p) {
        const Pgc& want = image.pgcs()[p];
        const pgc_t* pgc = o.ifo()->vts_pgcit->pgci_srp[p].pgc;
        ASSERT_NE(pgc, nullptr);
        ASSERT_EQ(pgc->nr_of_cells, want.cells().size());
        ASSERT_EQ(pgc->nr_of_programs, want.map().size());
        for (size_t k = 0; k < want.map().size(); ++k)
            EXPECT_EQ(pgc->program_map[k], want.map()[k]) << "PGC " << p << " map entry " << k;
        for (size_t c = 0; c < want.cells().size(); ++c) {
            SCOPED_TRACE("PGC " + std::to_string(p) + " cell " + std::to_string(c));
            const CellSpec& w = want.cells()[c];
            const cell_playback_t& cp = pgc->cell_playback[c];
            EXPECT_EQ(cp.block_mode, w.blockMode);
            EXPECT_EQ(cp.block_type, w.blockType);
            const dvd_time_t& t = cp.playback_time;
            EXPECT_EQ((std::vector<int>{FromBcd(t.hour), FromBcd(t.minute), FromBcd(t.second),
                                        FromBcd(t.frame_u & 0x3F), t.frame_u & 0xC0}),
                      (std::vector<int>{w.hours, w.minutes, w.seconds, w.frames, int(image.rateBits())}));
            EXPECT_EQ(pgc->cell_position[c].vob_id_nr, w.vobId);
            EXPECT_EQ(pgc->cell_position[c].cell_nr, w.cellId);
        }
    }
}

TEST(IfoWriter, ImagesReadBackThroughLibdvdread)
{
    const IfoImage pal = IfoImage()
                             .videoAttributes(0x5D, 0x0F)
                             .addAudio("en", AudioFormat::Ac3, 6)
                             .addAudio("de", AudioFormat::Lpcm, 2, 96000, 2)
                             .addSubPicture("fr")
                             .addPgc(Pgc()
                                         .cell(1, 1, 0, 0, 10, 12)
                                         .cell(1, 2, 0, 1, 0, 0)
                                         .cell(2, 1, 1, 2, 3, 24)
                                         .programMap({1, 2, 3}));
    const IfoImage ntsc =
        IfoImage()
            .ntsc()
            .addPgc(Pgc()
                        .cell(1, 1, 0, 0, 0, 1)
                        .angleBlock({MakeCell(2, 1, 0, 0, 30, 0), MakeCell(3, 1, 0, 0, 31, 0),
                                     MakeCell(4, 1, 0, 0, 32, 0)})
                        .angleBlock({MakeCell(5, 1, 0, 0, 5, 15), MakeCell(6, 1, 0, 0, 5, 29)})
                        .cell(7, 1, 0, 0, 40, 0)
                        .programMap({1, 2, 5, 7}))
            .addPgc(Pgc().cell(8, 1, 0, 20, 0, 0).time(0, 20, 0, 0).programMap({1}))
            .timeMap();
    Pgc many;
    std::vector<uint8_t> map;
    for (int c = 0; c < 255; ++c) {
        many.cell(static_cast<uint16_t>(1 + c / 10), static_cast<uint8_t>(1 + c % 10), 0, 0, 1, 0);
        map.push_back(static_cast<uint8_t>(c + 1));
    }
    const IfoImage big = IfoImage().addPgc(many.programMap(map));

    // The first PGC's time, as stored (BCD, frame byte with the rate bits):
    // the sum of the cells, first angles only, frames carried at 25 or 30.
    const std::tuple<const IfoImage&, int, std::vector<int>> cases[] = {
        {pal, 1, {0x01, 0x03, 0x14, 0x40 | 0x11}},   // 1:03:13 + 36 frames
        {ntsc, 3, {0x00, 0x01, 0x15, 0xC0 | 0x16}},  // 1 f + 30 s + 5 s 15 f + 40 s
        {big, 1, {0x00, 0x04, 0x15, 0x40}},          // 255 s
    };
    for (const auto& [image, titleSet, time] : cases) {
        const Opened o(image, titleSet);
        ExpectReadsBack(image, o);
        ASSERT_NE(o.ifo(), nullptr);
        const dvd_time_t& t = o.ifo()->vts_pgcit->pgci_srp[0].pgc->playback_time;
        EXPECT_EQ((std::vector<int>{t.hour, t.minute, t.second, t.frame_u}), time);
        EXPECT_EQ(o.ifo()->vts_tmapt != nullptr, &image == &ntsc);
    }

    const std::string bytes = pal.bytes();
    EXPECT_EQ(uint8_t(bytes.at(512)) * 256 + uint8_t(bytes.at(513)), 0x5D0F);
    const Opened o(pal);
    ASSERT_NE(o.ifo(), nullptr);
    EXPECT_EQ(o.ifo()->vtsi_mat->vts_video_attr.video_format, 1u);  // PAL
    EXPECT_EQ(o.ifo()->vtsi_mat->nr_of_vts_audio_streams, 2);
    EXPECT_EQ(o.ifo()->vtsi_mat->vts_audio_attr[1].sample_frequency, 1u);  // 96 kHz
    EXPECT_EQ(o.ifo()->vtsi_mat->nr_of_vts_subp_streams, 1);
}

// No PGC at all: libdvdread still opens the title set (with a remark on the
// empty cell address table).
TEST(IfoWriter, ImageWithoutPgc)
{
    const Opened none{IfoImage()};
    ASSERT_NE(none.ifo(), nullptr) << none.log();
    EXPECT_EQ(none.ifo()->vts_pgcit->nr_of_pgci_srp, 0);
}

}  // namespace
}  // namespace pelvano::test
