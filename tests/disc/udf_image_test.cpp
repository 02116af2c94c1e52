// Our UDF reader against libdvdread itself: on every fixture image (and
// every cut of one) it finds the navigation files libdvdread finds, with the
// same sizes and bytes; damaged images give a clear error or what
// libdvdread reads, never a crash or a hang.

#include <gtest/gtest.h>

#include <dvdread/dvd_reader.h>

#include <cstring>
#include <filesystem>
#include <optional>

#include "base/error.h"
#include "base/format.h"
#include "ifo/disc_reader.h"
#include "ifo/ifo_precheck.h"
#include "ifo/udf_image.h"
#include "test_util.h"

namespace pelvano::test {
namespace {

namespace fs = std::filesystem;

constexpr size_t kBlock = 2048;

// What a source learns of one navigation file: found, its size in blocks,
// its first block and its first bytes up to the IFO limit, each read as the
// disc reader reads them (a fresh opening per read).
struct Answer {
    bool found = false;
    ssize_t blocks = 0;
    std::optional<std::string> head, bytes;
    bool operator==(const Answer&) const = default;
};

size_t ReadSize(ssize_t blocks)
{
    return static_cast<size_t>(std::clamp<ssize_t>(blocks, 1, kMaxIfoSize / kBlock + 1)) * kBlock;
}

std::string FilePath(int titleSet, bool backup)
{
    const char* ext = backup ? "BUP" : "IFO";
    return titleSet == 0 ? Format("/VIDEO_TS/VIDEO_TS.%s", ext)
                         : Format("/VIDEO_TS/VTS_%02d_0.%s", titleSet, ext);
}

// The files asked for in the order a listing asks (their answers depend on
// what was asked before), then the backups.
std::vector<std::pair<int, bool>> Files()
{
    std::vector<std::pair<int, bool>> files;
    for (const bool backup : {false, true}) {
        for (int n = 0; n <= 3; ++n)
            files.emplace_back(n, backup);
    }
    return files;
}

void Quiet(void*, dvd_logger_level_t, const char*, va_list) {}

std::vector<Answer> Libdvdread(const std::string& iso)
{
    std::vector<Answer> answers;
    const dvd_logger_cb quiet = {Quiet};
    dvd_reader_t* dvd = DVDOpen2(nullptr, &quiet, iso.c_str());
    if (!dvd)
        return answers;
    for (const auto& [n, backup] : Files()) {
        const dvd_read_domain_t domain = backup ? DVD_READ_INFO_BACKUP_FILE : DVD_READ_INFO_FILE;
        Answer a;
        dvd_file_t* file = DVDOpenFile(dvd, n, domain);
        if (file) {
            a.found = true;
            a.blocks = DVDFileSize(file);
            for (auto [size, out] : {std::pair{kBlock, &a.head}, std::pair{ReadSize(a.blocks), &a.bytes}}) {
                std::string bytes(size, '\0');
                if (file && DVDReadBytes(file, bytes.data(), size) == static_cast<ssize_t>(size))
                    *out = bytes;
                if (file)
                    DVDCloseFile(file);
                file = DVDOpenFile(dvd, n, domain);
            }
            if (file)
                DVDCloseFile(file);
        }
        answers.push_back(a);
    }
    DVDClose(dvd);
    return answers;
}

// Nothing when our reader leaves the image to libdvdread.
std::optional<std::vector<Answer>> Ours(const std::string& iso)
{
    std::vector<Answer> answers;
    const std::unique_ptr<UdfImage> image = UdfImage::Open(iso);
    if (!image)
        return answers;
    try {
        for (const auto& [n, backup] : Files()) {
            Answer a;
            if (const std::optional<UdfImage::File> file = image->find(FilePath(n, backup))) {
                a.found = true;
                a.blocks = file->blocks();
                a.head = image->read(*file, kBlock);
                // Opened again, as libdvdread is (a lookup may answer differently the second time).
                if (const std::optional<UdfImage::File> again = image->find(FilePath(n, backup)))
                    a.bytes = image->read(*again, ReadSize(a.blocks));
            }
            answers.push_back(a);
        }
    } catch (const UdfImage::Unsupported&) {
        return std::nullopt;
    }
    return answers;
}

TEST(UdfImage, FindsAndReadsWhatLibdvdreadDoes)
{
    TempDir tmp;
    std::vector<std::pair<std::string, std::string>> images;
    for (const char* fixture : {"ntsc", "one_chapter", "many_chapters", "no_subs", "short_last", "two_sets"})
        images.emplace_back(fixture,
                            MakeDisc(FixturePath(std::string("dvd/") + fixture), tmp.file(fixture)).iso);
    // Not sorted for DVD players, and in lower case.
    CopyTitleSetFiles(FixturePath("dvd/two_sets"), tmp.file("lower/video_ts"), true);
    MakeIso(tmp.file("lower"), tmp.file("lower.iso"), {"-udf"});
    images.emplace_back("two_sets, -udf, lower case", tmp.file("lower.iso"));
    for (const auto& [name, iso] : images) {
        SCOPED_TRACE(name);
        const std::vector<Answer> want = Libdvdread(iso);
        ASSERT_TRUE(want.size() == Files().size() && want[0].bytes && want[1].bytes);
        const std::optional<std::vector<Answer>> got = Ours(iso);
        ASSERT_TRUE(got.has_value());
        EXPECT_TRUE(*got == want);
    }

    // Every cut of an image: the same answers, or none (libdvdread reads it).
    const std::string iso = images[5].second;
    const std::string whole = ReadFile(iso);
    int ours = 0;
    for (size_t cut = 257 * kBlock; cut < whole.size(); cut += kBlock + (cut % 3 ? 0 : 1000)) {
        SCOPED_TRACE(cut);
        WriteFile(tmp.file("cut.iso"), whole.substr(0, cut));
        const std::optional<std::vector<Answer>> got = Ours(tmp.file("cut.iso"));
        if (got) {
            ++ours;
            EXPECT_TRUE(*got == Libdvdread(tmp.file("cut.iso")));
        }
    }
    EXPECT_GT(ours, 0);
}

// A little-endian field of a block in an image.
void Put(std::string& image, size_t at, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        image[at + i] = static_cast<char>(value >> (8 * i) & 0xff);
}
uint32_t Get(const std::string& image, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<uint8_t>(image[at + i]);
    return v;
}

// The first block holding a UDF descriptor with `tag` (checked by its tag
// checksum), from `from` on.
size_t Tagged(const std::string& image, uint16_t tag, size_t from = 0)
{
    for (size_t b = from; (b + 1) * kBlock <= image.size(); ++b) {
        const auto* d = reinterpret_cast<const uint8_t*>(image.data() + b * kBlock);
        uint8_t sum = 0;
        for (int i = 0; i < 16; ++i)
            sum = static_cast<uint8_t>(sum + (i == 4 ? 0 : d[i]));
        if ((d[0] | d[1] << 8) == tag && sum == d[4] && (d[2] == 2 || d[2] == 3))
            return b * kBlock;
    }
    ADD_FAILURE() << "no descriptor " << tag;
    return 0;
}

// The File Identifier Descriptor naming `name` (8-bit), at its start.
size_t Identifier(const std::string& image, const std::string& name)
{
    const std::string key = std::string(1, '\x08') + name;
    for (size_t at = image.find(key); at != std::string::npos; at = image.find(key, at + 1)) {
        const size_t fid = at - 38 - static_cast<uint8_t>(image[at - 2]);
        if (fid < image.size() && image[fid] == 1 && image[fid + 1] == 1)
            return fid;
    }
    ADD_FAILURE() << "no identifier " << name;
    return 0;
}

TEST(UdfImage, DamagedImagesGiveAnErrorOrWhatLibdvdreadReads)
{
    TempDir tmp;
    const std::string fixture = FixturePath("dvd/two_sets");
    const std::string image = MakeDisc(fixture, tmp.file("two")).iso;
    const std::string good = ReadFile(image);
    const size_t fileSet = Tagged(good, 256);
    const size_t partitionStart = fileSet / kBlock;
    const size_t root = Tagged(good, 261, partitionStart);
    const size_t videoTsEntry = Identifier(good, "VIDEO_TS");
    const size_t videoTs = Tagged(good, 261, root / kBlock + 1);
    const size_t lastEntry = Identifier(good, "VTS_02_0.IFO");
    const size_t vts2 = (partitionStart + Get(good, Identifier(good, "VTS_02_0.IFO") + 24)) * kBlock;
    const size_t vts2Data = (partitionStart + Get(good, vts2 + 176 + 4)) * kBlock;
    // The entry's allocation descriptor: short, right after 176 bytes of header.
    const auto setDirectory = [](std::string& d, size_t entry, uint64_t length, bool withoutAd) {
        Put(d, entry + 56, length, 8);
        if (withoutAd)
            Put(d, entry + 172, 0, 4);
        else
            Put(d, entry + 176, length & 0x3FFFFFFF, 4);
    };

    const size_t lastBlock = good.size() / kBlock - 1 - partitionStart;
    const uint32_t rootIdentifiers = static_cast<uint32_t>(videoTsEntry / kBlock - partitionStart);

    const struct {
        const char* what;
        std::function<void(std::string&)> damage;
        std::vector<int> listed;  // title sets read as the fixture has them
        bool mayFail;             // libdvdread reads it past its buffers: an error will do
    } cases[] = {
        {"anchor's tag", [](std::string& d) { d[256 * kBlock] = 9; }, {}, false},
        {"partition descriptor's tag", [&](std::string& d) { d[Tagged(good, 5)] = 9; }, {}, false},
        {"file set descriptor's tag", [&](std::string& d) { d[fileSet] = 9; }, {}, false},
        {"root directory of 1 GiB",
         [&](std::string& d) { setDirectory(d, root, 0x3FFFF800, false); },
         {},
         false},
        {"root directory of 3 GiB, no extent",
         [&](std::string& d) { setDirectory(d, root, 0xC0000000, true); },
         {},
         false},
        {"VIDEO_TS directory of 1 GiB",
         [&](std::string& d) { setDirectory(d, videoTs, 0x3FFFF800, false); },
         {},
         false},
        {"VIDEO_TS is the root",
         [&](std::string& d) { Put(d, videoTsEntry + 24, Get(good, fileSet + 404), 4); },
         {},
         false},
        {"ICB pointing at its own identifier",
         [&](std::string& d) { Put(d, videoTsEntry + 24, rootIdentifiers, 4); },
         {},
         false},
        {"ICB of no length: a walk to the file entry after it",
         [&](std::string& d) {
             Put(d, videoTsEntry + 20, 0, 4);
             Put(d, videoTsEntry + 24, rootIdentifiers, 4);
         },
         {1, 2},
         false},
        {"ICB of no length: a walk past the end",
         [&](std::string& d) {
             Put(d, videoTsEntry + 20, 0, 4);
             Put(d, videoTsEntry + 24, lastBlock, 4);
         },
         {},
         false},
        // libdvdread's first lookup in a directory takes the last entry of a
        // name, the later ones the first: VIDEO_TS.IFO is then a title set's.
        {"two entries named VIDEO_TS.IFO",
         [&](std::string& d) { d.replace(Identifier(good, "VTS_01_0.IFO") + 39, 12, "VIDEO_TS.IFO"); },
         {},
         false},
        {"name past the directory", [&](std::string& d) { Put(d, lastEntry + 36, 0xFFFF, 2); }, {1}, true},
        {"VTS_02_0.IFO cut short", [&](std::string& d) { d.resize(vts2Data + kBlock); }, {1}, false},
        {"VTS_02_0.IFO past the end",
         [&](std::string& d) { Put(d, vts2 + 176 + 4, 0x100000, 4); },
         {1},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = good;
        c.damage(bytes);
        const std::string path = tmp.file("damaged.iso");
        WriteFile(path, bytes);
        try {
            const std::unique_ptr<DiscReader> disc = DiscReader::Open(path);
            std::vector<int> listed;
            for (int n : disc->titleSetNumbers()) {
                if (!disc->hasTitleSet(n))
                    continue;
                try {
                    EXPECT_EQ(disc->readTitleSet(n),
                              ReadFile(Format("%s/VTS_%02d_0.IFO", fixture.c_str(), n)));
                    listed.push_back(n);
                } catch (const Error& e) {
                    EXPECT_EQ(std::string(e.what()).rfind(path + ": VTS_", 0), 0u) << e.what();
                }
            }
            EXPECT_EQ(listed, c.listed);
        } catch (const Error& e) {
            EXPECT_TRUE(c.mayFail) << e.what();
            EXPECT_EQ(std::string(e.what()).rfind(path + ": ", 0), 0u) << e.what();
        }
    }
}

}  // namespace
}  // namespace pelvano::test
