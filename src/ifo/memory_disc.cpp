#include "ifo/memory_disc.h"

#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/format.h"
#include "ifo/udf_layout.h"

namespace pelvano {

namespace {

using namespace udf;

// libdvdread reads nothing before the anchor: the image starts there.
constexpr uint32_t kPartitionStart = kAnchorBlock + 5;

class Blocks {
public:
    // `expected`: blocks to make room for at once (adding copies nothing then).
    Blocks(uint32_t first, size_t expected) : first_(first) { bytes_.reserve(expected * kBlock); }

    uint32_t add(size_t count = 1)
    {
        const uint32_t at = first_ + static_cast<uint32_t>(bytes_.size() / kBlock);
        bytes_.resize(bytes_.size() + count * kBlock, 0);
        return at;
    }
    uint8_t* at(uint32_t block, size_t offset = 0)
    {
        return bytes_.data() + (block - first_) * kBlock + offset;
    }
    void put16(uint32_t block, size_t offset, uint16_t v)
    {
        uint8_t* p = at(block, offset);
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
    }
    void put32(uint32_t block, size_t offset, uint32_t v)
    {
        uint8_t* p = at(block, offset);
        for (int i = 0; i < 4; ++i)
            p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    uint32_t first_;
    std::vector<uint8_t> bytes_;
};

// A file entry with one short allocation descriptor (partition-relative).
void PutFileEntry(Blocks& b, uint32_t block, uint8_t type, uint32_t length, uint32_t location)
{
    b.put16(block, 0, kFileEntryTag);
    *b.at(block, 16 + 11) = type;
    b.put16(block, 16 + 18, 0);  // short allocation descriptors
    b.put32(block, 56, length);
    b.put32(block, 168, 0);  // no extended attributes
    b.put32(block, 172, 8);  // one descriptor
    b.put32(block, 176, length);
    b.put32(block, 180, location);
}

// A file identifier of `name` (8-bit characters) pointing at the entry in
// partition block `entry`; returns its size.
size_t PutFileIdentifier(uint8_t* p, const std::string& name, bool directory, uint32_t entry)
{
    p[0] = static_cast<uint8_t>(kFileIdentifierTag);
    p[1] = static_cast<uint8_t>(kFileIdentifierTag >> 8);
    p[18] = directory ? 0x02 : 0x00;
    p[19] = static_cast<uint8_t>(name.size() + 1);
    const uint32_t fields[2] = {static_cast<uint32_t>(kBlock), entry};
    for (int f = 0; f < 2; ++f) {
        for (int i = 0; i < 4; ++i)
            p[20 + 4 * f + i] = static_cast<uint8_t>(fields[f] >> (8 * i));
    }
    p[38] = 8;
    // A name, not a C string: no terminator.
    std::copy(name.begin(), name.end(), p + 39);
    return 4 * ((38 + name.size() + 1 + 3) / 4);
}

}  // namespace

MemoryDisc::MemoryDisc(const std::map<int, const std::string*>& files)
{
    for (const auto& [number, bytes] : files) {
        if (number < 1 || number > 99 || bytes->empty() || bytes->size() % kBlock != 0)
            return;
    }

    // The descriptors are made here; the files' bytes follow them on the
    // image, written from where they are.
    Blocks b(kAnchorBlock, 16 + files.size());
    const uint32_t anchor = b.add();
    const uint32_t sequence = b.add(4);
    b.add();  // the partition starts on kPartitionStart
    const uint32_t fileSet = b.add();
    const uint32_t rootEntry = b.add();
    const uint32_t rootDir = b.add();
    const uint32_t tsEntry = b.add();
    constexpr size_t kIdentifierSize = 52;  // for a 12-character name
    const size_t tsDirSize = files.size() * kIdentifierSize;
    const uint32_t tsDir = b.add((tsDirSize + kBlock - 1) / kBlock);
    const uint32_t firstEntry = b.add(files.size());
    auto relative = [](uint32_t block) { return block - kPartitionStart; };

    b.put16(anchor, 0, kAnchorTag);
    b.put32(anchor, 16, 4 * kBlock);
    b.put32(anchor, 20, sequence);
    b.put16(sequence, 0, kPartitionTag);
    b.put16(sequence, 22, 0);  // partition number
    b.put16(sequence + 1, 0, kLogicalVolumeTag);
    b.put32(sequence + 1, 212, kBlock);
    b.put16(sequence + 2, 0, kTerminatingTag);

    b.put16(fileSet, 0, kFileSetTag);
    b.put32(fileSet, 400, kBlock);
    b.put32(fileSet, 404, relative(rootEntry));
    b.put16(fileSet, 408, 0);

    const size_t rootDirSize = PutFileIdentifier(b.at(rootDir), "VIDEO_TS", true, relative(tsEntry));
    PutFileEntry(b, rootEntry, kDirectoryType, static_cast<uint32_t>(rootDirSize), relative(rootDir));
    PutFileEntry(b, tsEntry, kDirectoryType, static_cast<uint32_t>(tsDirSize), relative(tsDir));

    std::vector<iovec> pieces;
    pieces.push_back({const_cast<uint8_t*>(b.bytes().data()), b.bytes().size()});
    uint32_t data = kAnchorBlock + static_cast<uint32_t>(b.bytes().size() / kBlock);
    size_t offset = 0;
    uint32_t entry = firstEntry;
    for (const auto& [number, bytes] : files) {
        PutFileEntry(b, entry, kFileType, static_cast<uint32_t>(bytes->size()), relative(data));
        // Identifiers run on across the directory's blocks, as libdvdread reads them.
        offset +=
            PutFileIdentifier(b.at(tsDir, offset), Format("VTS_%02d_0.IFO", number), false, relative(entry));
        pieces.push_back({const_cast<char*>(bytes->data()), bytes->size()});
        data += static_cast<uint32_t>(bytes->size() / kBlock);
        ++entry;
    }
    // libdvdread reads a directory one block past its end: zeros to spare.
    const uint32_t end = data + 2;
    b.put32(sequence, 188, kPartitionStart);
    b.put32(sequence, 192, end - kPartitionStart);

    const int fd = memfd_create("pelvano-disc", MFD_CLOEXEC);
    if (fd < 0)
        return;
    const off_t at = static_cast<off_t>(kAnchorBlock) * kBlock;
    const ssize_t size = static_cast<ssize_t>(data - kAnchorBlock) * kBlock;
    // IOV_MAX (1024) is far above 1 + 99 pieces.
    if (ftruncate(fd, static_cast<off_t>(end) * kBlock) != 0 ||
        pwritev(fd, pieces.data(), static_cast<int>(pieces.size()), at) != size) {
        close(fd);
        return;
    }
    // Without /proc the library could not open the path (and would say so
    // on standard error).
    const std::string path = Format("/proc/self/fd/%d", fd);
    if (access(path.c_str(), R_OK) != 0) {
        close(fd);
        return;
    }
    fd_ = fd;
    path_ = path;
}

MemoryDisc::~MemoryDisc()
{
    if (fd_ >= 0)
        close(fd_);
}

}  // namespace pelvano
