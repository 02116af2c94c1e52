#include "ifo/udf_image.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "ifo/udf_layout.h"

namespace pelvano {

namespace {

using namespace udf;

// libdvdread seeks to block * 2048 through an int: from here on its offsets
// are negative.
constexpr uint64_t kFirstUnseekable = uint64_t{1} << 31;
// A DVD's descriptors and entries lie in the first blocks a walk reads; a
// directory of 99 title sets' files is some 60 KiB.
constexpr uint64_t kMaxWalk = 4096;
constexpr uint64_t kMaxDirectory = 1u << 20;
// libdvdread reads a block past the end in two system calls: this many take
// it longer than any reading of a disc may.
constexpr uint64_t kEndlessWalk = 1u << 24;
// Blocks read for one image, all lookups together.
constexpr uint64_t kBudget = 1u << 16;
// libdvdread keeps a navigation file below this size in memory when it opens it.
constexpr uint32_t kCachedFileSize = 64 * kBlock;

using Block = std::array<unsigned char, kBlock>;

// Little-endian fields of a buffer, checked: a field past its end is one
// libdvdread reads from memory it does not hold.
class Fields {
public:
    Fields(const unsigned char* data, size_t size) : data_(data), size_(size) {}
    uint8_t u8(uint64_t at) const { return check(at, 1)[0]; }
    uint16_t u16(uint64_t at) const
    {
        const unsigned char* p = check(at, 2);
        return static_cast<uint16_t>(p[0] | p[1] << 8);
    }
    uint32_t u32(uint64_t at) const
    {
        const unsigned char* p = check(at, 4);
        return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
    }
    UdfImage::Ad longAd(uint64_t at) const { return {u32(at + 4), u32(at) & 0x3FFFFFFF, u16(at + 8)}; }

private:
    const unsigned char* check(uint64_t at, uint64_t n) const
    {
        if (at > size_ || size_ - at < n)
            throw UdfImage::Unsupported("a field past its buffer");
        return data_ + at;
    }

    const unsigned char* data_;
    size_t size_;
};

Fields FieldsOf(const Block& block)
{
    return {block.data(), block.size()};
}

struct FileEntry {
    uint8_t fileType = 0;
    UdfImage::Ad file;
};

// A File Entry as libdvdread takes it: the information length (its low 32
// bits) at location 0 when there is no allocation descriptor, else the
// first short one with a non-zero location, or the last long or extended
// one; an embedded file's bytes read as a descriptor.
FileEntry ReadFileEntry(const Block& block)
{
    const Fields f = FieldsOf(block);
    FileEntry entry;
    entry.fileType = f.u8(16 + 11);
    const uint16_t flags = f.u16(16 + 18);
    entry.file.length = f.u32(60);
    const uint32_t eaLength = f.u32(168);
    const uint32_t adLength = f.u32(172);
    // The same 32-bit sums as libdvdread's.
    const uint32_t end = 176 + eaLength + adLength;
    if (end > kBlock)
        return entry;
    const auto shortAd = [&](uint32_t at) { return UdfImage::Ad{f.u32(at + 4), f.u32(at) & 0x3FFFFFFF, 0}; };
    const auto extAd = [&](uint32_t at) {
        return UdfImage::Ad{f.u32(at + 12), f.u32(at) & 0x3FFFFFFF, f.u16(at + 16)};
    };
    for (uint32_t p = 176 + eaLength; p < end;) {
        switch (flags & 7) {
        case 0:
            if (entry.file.location == 0)
                entry.file = shortAd(p);
            p += 8;
            break;
        case 1:
            entry.file = f.longAd(p);
            p += 16;
            break;
        case 2:
            entry.file = extAd(p);
            p += 20;
            break;
        case 3:
            if (adLength == 8)
                entry.file = shortAd(p);
            else if (adLength == 16)
                entry.file = f.longAd(p);
            else if (adLength == 20)
                entry.file = extAd(p);
            p += adLength;
            break;
        default:
            p += adLength;
            break;
        }
    }
    return entry;
}

struct Identifier {
    UdfImage::Ad icb;
    std::string name;  // up to its first NUL, as libdvdread compares it
    uint32_t size = 0;
};

// A File Identifier Descriptor at `at`; its name decoded as libdvdread
// decodes it (8-bit or 16-bit CS0 taken byte-wise; a 16-bit name with a
// character beyond 8 bits, or another compression, reads as empty).
Identifier ReadIdentifier(const Fields& f, uint32_t at)
{
    Identifier id;
    const uint8_t nameLength = f.u8(uint64_t{at} + 19);
    id.icb = f.longAd(uint64_t{at} + 20);
    const uint16_t useLength = f.u16(uint64_t{at} + 36);
    id.size = 4 * ((38 + nameLength + useLength + 3) / 4);
    if (nameLength == 0)
        return id;
    const uint64_t name = uint64_t{at} + 38 + useLength;
    const uint8_t compression = f.u8(name);
    if (compression != 8 && compression != 16)
        return id;
    int high = 0;
    unsigned p = 1;
    do {
        if (compression == 16)
            high |= f.u8(name + p++);
        if (p < nameLength)
            id.name += static_cast<char>(f.u8(name + p++));
    } while (p < nameLength);
    if (high != 0)
        id.name.clear();
    id.name.resize(std::strlen(id.name.c_str()));
    return id;
}

}  // namespace

std::unique_ptr<UdfImage> UdfImage::Open(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        close(fd);
        return nullptr;
    }
    return std::unique_ptr<UdfImage>(new UdfImage(fd, static_cast<uint64_t>(st.st_size)));
}

UdfImage::UdfImage(int fd, uint64_t size) : fd_(fd), blocks_(size / kBlock), budget_(kBudget)
{
    if (blocks_ >= kFirstUnseekable)
        blocks_ = kFirstUnseekable;
}

UdfImage::~UdfImage()
{
    close(fd_);
}

// Reads `count` blocks as libdvdread does: false when the image ends first.
bool UdfImage::readBlocks(uint32_t block, uint32_t count, unsigned char* out)
{
    if (block >= kFirstUnseekable)
        throw Unsupported("a block libdvdread cannot seek to");
    if (uint64_t{block} + count > blocks_)
        return false;
    const size_t size = size_t{count} * kBlock;
    size_t done = 0;
    while (done < size) {
        const ssize_t n =
            pread(fd_, out + done, size - done, static_cast<off_t>(uint64_t{block} * kBlock + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw Unsupported("the image cannot be read");
        done += static_cast<size_t>(n);
    }
    return true;
}

// Counts blocks read to find things, all lookups together.
void UdfImage::spend(uint64_t blocks)
{
    if (blocks > budget_)
        throw Unsupported("too much to read");
    budget_ -= blocks;
}

// libdvdread's do-while walks over blocks `first`..`last`: `visit` sees
// each block read and says whether the walk stops. Past the image's end
// every block reads as untagged and nothing can stop the walk but its bound;
// when that bound lies where libdvdread cannot seek, its answer is not ours
// to give, and when it lies billions of blocks on, libdvdread never gets
// there.
template <typename Visit>
void UdfImage::walk(uint32_t first, uint32_t last, Visit visit)
{
    last = std::max(first, last);
    Block block;
    for (uint64_t n = first; n <= last; ++n) {
        if (n >= blocks_) {
            if (last < kFirstUnseekable)
                return;
            if (kFirstUnseekable - n > kEndlessWalk)
                throw Endless("a walk of billions of blocks past the image's end");
            throw Unsupported("a walk past the image's end");
        }
        if (n - first >= kMaxWalk)
            throw Unsupported("a walk too long");
        spend(1);
        readBlocks(static_cast<uint32_t>(n), 1, block.data());
        if (visit(block))
            return;
    }
}

// The Anchor Volume Descriptor Pointer at block 256 (libdvdread looks
// nowhere else): the main volume descriptor sequence.
void UdfImage::findAnchor()
{
    if (mainSequence_)
        return;
    Block block;
    if (!readBlocks(kAnchorBlock, 1, block.data()) || FieldsOf(block).u16(0) != kAnchorTag)
        throw Unsupported("no UDF anchor");
    mainSequence_.emplace(FieldsOf(block).u32(20), FieldsOf(block).u32(16));
}

// The first Partition Descriptor numbered 0 in the main sequence, before a
// Terminating Descriptor. (libdvdread walks the same sequence twice and
// checks the Logical Volume Descriptor only to stop early: neither changes
// what it finds.)
std::optional<UdfImage::Partition> UdfImage::findPartition()
{
    findAnchor();
    const auto [location, length] = *mainSequence_;
    std::optional<Partition> found;
    walk(location, location + (length - 1) / kBlock, [&](const Block& block) {
        const Fields f = FieldsOf(block);
        const uint16_t tag = f.u16(0);
        if (tag == kPartitionTag && f.u16(22) == 0)
            found = Partition{f.u32(188), f.u32(192)};
        return found || tag == kTerminatingTag;
    });
    return found;
}

// The File Entry an ICB leads to: the first block tagged as one within the
// ICB's extent, remembered by its first block as libdvdread does.
std::optional<UdfImage::Mapped> UdfImage::mapIcb(const Ad& icb)
{
    const uint32_t first = partition_->start + icb.location;
    if (const auto it = icbs_.find(first); it != icbs_.end())
        return it->second;
    std::optional<Mapped> mapped;
    walk(first, first + (icb.length - 1) / kBlock, [&](const Block& block) {
        if (FieldsOf(block).u16(0) != kFileEntryTag)
            return false;
        const FileEntry entry = ReadFileEntry(block);
        mapped = Mapped{entry.fileType, entry.file};
        return true;
    });
    if (mapped)
        icbs_[first] = *mapped;
    return mapped;
}

// The ICB of `name` in a directory, as libdvdread's scan finds it. The
// directory's blocks are read once and kept by its first block. With
// `mapEach`, on the first reading of a directory, every entry's ICB is
// mapped too (one that cannot be loses the whole lookup) and the last entry
// of the name wins; otherwise the first does.
std::optional<UdfImage::Ad> UdfImage::scanDirectory(const Ad& dir, const std::string& name, bool mapEach)
{
    const uint32_t first = partition_->start + dir.location;
    auto it = directories_.find(first);
    const bool known = it != directories_.end();
    if (!known) {
        // One block more than the length needs, all of it there, or nothing.
        const uint32_t count = (dir.length + kBlock) / kBlock;
        std::optional<std::string> bytes;
        if (count > 0 && first >= kFirstUnseekable)
            throw Unsupported("a directory libdvdread cannot seek to");
        if (count > 0 && uint64_t{first} + count <= blocks_) {
            if (uint64_t{count} * kBlock > kMaxDirectory)
                throw Unsupported("a directory too large");
            spend(count);
            bytes.emplace(size_t{count} * kBlock, '\0');
            readBlocks(first, count, reinterpret_cast<unsigned char*>(bytes->data()));
        }
        it = directories_.emplace(first, std::move(bytes)).first;
    }
    if (!it->second)
        return std::nullopt;
    // Held by the map, which mapIcb leaves alone.
    const std::string& bytes = *it->second;
    const Fields f(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    mapEach = mapEach && !known;
    std::optional<Ad> found;
    for (uint32_t p = 0; p < dir.length;) {
        if (f.u16(p) != kFileIdentifierTag)
            break;
        const Identifier id = ReadIdentifier(f, p);
        if (strcasecmp(name.c_str(), id.name.c_str()) == 0) {
            if (!mapEach)
                return id.icb;
            found = id.icb;
        }
        if (mapEach && !mapIcb(id.icb))
            return std::nullopt;
        p += id.size;
    }
    return mapEach ? found : std::nullopt;
}

std::optional<UdfImage::File> UdfImage::find(const std::string& path)
{
    if (!partition_ || !rootIcb_) {
        partition_.reset();
        rootIcb_.reset();
        const std::optional<Partition> partition = findPartition();
        if (!partition)
            return std::nullopt;
        // The File Set Descriptor: the first one in the partition, before a
        // Terminating Descriptor.
        const uint32_t end = partition->start + partition->length;
        std::optional<Ad> root;
        bool stop = false;
        walk(partition->start, end == 0 ? partition->start : end - 1, [&](const Block& block) {
            const uint16_t tag = FieldsOf(block).u16(0);
            if (tag == kFileSetTag)
                root = FieldsOf(block).longAd(400);
            stop = tag == kFileSetTag || tag == kTerminatingTag;
            return stop;
        });
        if (!root || root->partition != 0)
            return std::nullopt;
        partition_ = partition;
        rootIcb_ = root;
    }

    std::optional<Mapped> at = mapIcb(*rootIcb_);
    if (!at || at->fileType != kDirectoryType)
        return std::nullopt;
    bool inVideoTs = false;
    size_t pos = 0;
    while (pos < path.size()) {
        const size_t slash = path.find('/', pos);
        const std::string token =
            path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        pos = slash == std::string::npos ? path.size() : slash + 1;
        if (token.empty())
            continue;
        const std::optional<Ad> icb = scanDirectory(at->file, token, inVideoTs);
        if (!icb)
            return std::nullopt;
        at = mapIcb(*icb);
        if (!at)
            return std::nullopt;
        if (token == "VIDEO_TS")
            inVideoTs = true;
    }
    if (at->file.partition != 0 || at->file.location == 0)
        return std::nullopt;
    const uint32_t block = partition_->start + at->file.location;
    if (block == 0)
        return std::nullopt;
    if (block >= kFirstUnseekable)
        throw Unsupported("a file libdvdread cannot seek to");
    return File{block, at->file.length};
}

std::optional<std::string> UdfImage::read(const File& file, size_t size)
{
    const uint64_t blocks = file.length / kBlock;
    const uint64_t wanted = (uint64_t{size} + kBlock - 1) / kBlock;
    // A small file is read whole when opened; reads are then served from
    // that copy and end with the file. Otherwise they go to the image.
    const bool whole = file.length < kCachedFileSize && file.block + blocks <= blocks_;
    if (whole ? wanted > blocks : file.block + wanted > blocks_)
        return std::nullopt;
    std::string bytes(wanted * kBlock, '\0');
    if (!readBlocks(file.block, static_cast<uint32_t>(wanted),
                    reinterpret_cast<unsigned char*>(bytes.data())))
        return std::nullopt;
    bytes.resize(size);
    return bytes;
}

}  // namespace pelvano
