// The navigation files of a disc as our reader finds them, against
// libdvdread itself: every fixture as a folder and as genisoimage makes
// images of it, and every cut of one, give the bytes libdvdread reads;
// damaged images give one clear error or the files that are intact.

#include <gtest/gtest.h>

#include <dvdread/dvd_reader.h>

#include <functional>

#include "base/error.h"
#include "base/format.h"
#include "disc/dvd_files.h"
#include "disc/paths.h"
#include "test_util.h"

namespace pelvano::test {
namespace {

constexpr size_t kBlock = 2048;
constexpr size_t kLimit = (4u << 20) + 1;

using Files = std::map<int, std::string>;  // 0: VIDEO_TS.IFO

Files Ours(const std::string& path)
{
    const DvdFiles dvd = ReadDvdFiles(path, kLimit);
    Files files;
    if (dvd.videoManager)
        files[0] = *dvd.videoManager;
    for (const auto& [n, bytes] : dvd.titleSets) {
        if (const std::string* read = std::get_if<std::string>(&bytes))
            files[n] = *read;
    }
    return files;
}

void Quiet(void*, dvd_logger_level_t, const char*, va_list) {}

// What libdvdread reads of VIDEO_TS.IFO and VTS_01..: whole blocks, up to the first missing.
Files Libdvdread(const std::string& path)
{
    Files files;
    const dvd_logger_cb quiet = {Quiet};
    dvd_reader_t* dvd = DVDOpen2(nullptr, &quiet, path.c_str());
    for (int n = 0; dvd && n <= 99; ++n) {
        dvd_file_t* file = DVDOpenFile(dvd, n, DVD_READ_INFO_FILE);
        if (!file && n > 0)
            break;
        const ssize_t blocks = file ? DVDFileSize(file) : 0;
        std::string bytes(static_cast<size_t>(std::max<ssize_t>(blocks, 0)) * kBlock, '\0');
        if (blocks > 0 &&
            DVDReadBytes(file, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()))
            files[n] = bytes;
        if (file)
            DVDCloseFile(file);
    }
    if (dvd)
        DVDClose(dvd);
    return files;
}

TEST(DvdFiles, FoldersAndImagesGiveWhatLibdvdreadReads)
{
    TempDir tmp;
    for (const char* fixture :
         {"ntsc", "one_chapter", "many_chapters", "no_subs", "short_last", "two_sets"}) {
        SCOPED_TRACE(fixture);
        const Disc disc = MakeDisc(FixturePath(std::string("dvd/") + fixture), tmp.file(fixture));
        const Files want = Libdvdread(disc.iso);
        ASSERT_GE(want.size(), 2u);
        EXPECT_EQ(Ours(disc.iso), want);
        EXPECT_EQ(Ours(disc.above), want);
        EXPECT_EQ(Ours(disc.videoTs), want);
    }
    // Not sorted for DVD players, and in lower case.
    CopyTitleSetFiles(FixturePath("dvd/two_sets"), tmp.file("lower/video_ts"), true);
    MakeIso(tmp.file("lower"), tmp.file("lower.iso"), {"-udf"});
    EXPECT_EQ(Ours(tmp.file("lower.iso")), Libdvdread(tmp.file("lower.iso")));
    EXPECT_EQ(Ours(tmp.file("lower.iso")).size(), 3u);

    // Every cut of an image: what libdvdread reads of it, or one line
    // naming the image.
    const std::string cut = tmp.file("cut.iso");
    const std::string whole = ReadFile(MakeDisc(FixturePath("dvd/two_sets"), tmp.file("cuts")).iso);
    for (size_t size = 257 * kBlock; size < whole.size(); size += kBlock + (size % 3 ? 0 : 1000)) {
        SCOPED_TRACE(size);
        WriteFile(cut, whole.substr(0, size));
        try {
            EXPECT_EQ(Ours(cut), Libdvdread(cut));
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()).rfind(cut + ": ", 0), 0u) << e.what();
        }
    }
}

// A little-endian field of a block in an image.
void Put(std::string& image, size_t at, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        image[at + i] = static_cast<char>(value >> (8 * i) & 0xff);
}
uint32_t Get(const std::string& image, size_t at, int bytes = 4)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | static_cast<uint8_t>(image[at + i]);
    return v;
}

// A UDF descriptor tag's checksum: its 16 bytes but the checksum's own.
char TagChecksum(const std::string& image, size_t at)
{
    uint8_t sum = 0;
    for (int i = 0; i < 16; ++i)
        sum = static_cast<uint8_t>(sum + (i == 4 ? 0 : static_cast<uint8_t>(image[at + i])));
    return static_cast<char>(sum);
}

// The first block from block `from` on holding a UDF descriptor with `tag`.
size_t Tagged(const std::string& image, uint16_t tag, size_t from = 0)
{
    for (size_t at = from * kBlock; at + kBlock <= image.size(); at += kBlock) {
        if (Get(image, at, 2) == tag && image[at + 4] == TagChecksum(image, at) &&
            (image[at + 2] == 2 || image[at + 2] == 3))
            return at;
    }
    ADD_FAILURE() << "no descriptor " << tag;
    return 0;
}

// The File Identifier Descriptor naming `name`, at its start.
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

TEST(DvdFiles, DamagedImagesGiveAnErrorOrTheFilesThatAreIntact)
{
    TempDir tmp;
    const std::string fixture = FixturePath("dvd/two_sets");
    const std::string good = ReadFile(MakeDisc(fixture, tmp.file("two")).iso);
    const size_t fileSet = Tagged(good, 256);
    const size_t partitionStart = fileSet / kBlock;
    const size_t root = Tagged(good, 261, partitionStart);
    const size_t videoTsEntry = Identifier(good, "VIDEO_TS");
    const size_t videoTs = Tagged(good, 261, root / kBlock + 1);
    const size_t vts2 = (partitionStart + Get(good, Identifier(good, "VTS_02_0.IFO") + 24)) * kBlock;
    const size_t logicalVolume = Tagged(good, 6);
    const auto setDirectory = [](std::string& d, size_t entry, uint64_t length) {
        Put(d, entry + 56, length, 8);
        Put(d, entry + 176, length & 0x3FFFFFFF, 4);
    };

    const struct {
        const char* what;
        std::function<void(std::string&)> damage;
        std::vector<int> intact;  // title sets read as the fixture has them; none: an error
    } cases[] = {
        {"no volume recognition",
         [](std::string& d) { d.replace(16 * kBlock, 3 * kBlock, 3 * kBlock, '\0'); },
         {}},
        // The anchor at the end and the reserve sequence stand in.
        {"anchor's tag", [](std::string& d) { d[256 * kBlock] = 9; }, {1, 2}},
        {"partition descriptor's tag", [&](std::string& d) { d[Tagged(good, 5)] = 9; }, {1, 2}},
        {"file set descriptor's tag", [&](std::string& d) { d[fileSet] = 9; }, {}},
        // A volume descriptor pointer to itself: libudfread follows it for as
        // long as the blocks read.
        {"volume descriptor sequence pointing to itself",
         [&](std::string& d) {
             const size_t at = Tagged(good, 1);
             d.replace(at, kBlock, kBlock, '\0');
             Put(d, at, 3, 2);
             Put(d, at + 2, 2, 2);
             Put(d, at + 20, 16 * kBlock, 4);
             Put(d, at + 24, at / kBlock, 4);
             d[at + 4] = TagChecksum(d, at);
         },
         {}},
        // A search for the file set from the last block number on would
        // wrap round and go on for 2^32 blocks.
        {"file set searched from the last block number",
         [&](std::string& d) {
             Put(d, logicalVolume + 248, kBlock, 4);
             Put(d, logicalVolume + 252, 0xFFFFFFFF, 4);
             d[fileSet] = 9;
         },
         {}},
        {"root directory of 1 GiB", [&](std::string& d) { setDirectory(d, root, 0x3FFFF800); }, {}},
        {"VIDEO_TS directory of 1 GiB", [&](std::string& d) { setDirectory(d, videoTs, 0x3FFFF800); }, {}},
        {"VIDEO_TS is the root",
         [&](std::string& d) { Put(d, videoTsEntry + 24, Get(good, fileSet + 404), 4); },
         {}},
        {"VTS_02_0.IFO past the end", [&](std::string& d) { Put(d, vts2 + 176 + 4, 0x100000, 4); }, {1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = good;
        c.damage(bytes);
        const std::string path = tmp.file("damaged.iso");
        WriteFile(path, bytes);
        try {
            std::vector<int> intact;
            for (const auto& [n, file] : ReadDvdFiles(path, kLimit).titleSets) {
                if (const Error* e = std::get_if<Error>(&file))
                    EXPECT_EQ(std::string(e->what()).rfind(path + ": VTS_", 0), 0u) << e->what();
                else if (std::get<std::string>(file) == ReadFile(fixture + "/" + IfoName(n)))
                    intact.push_back(n);
            }
            EXPECT_EQ(intact, c.intact);
        } catch (const Error& e) {
            EXPECT_TRUE(c.intact.empty()) << e.what();
            EXPECT_EQ(std::string(e.what()).rfind(path + ": ", 0), 0u) << e.what();
        }
    }
}

}  // namespace
}  // namespace pelvano::test
