// Images and drives through libudfread, the UDF reader of libbluray and VLC.
// It trusts some of what it reads, so every block it asks for goes through
// our own input: never past the end, and never more of them than a disc's
// navigation files can take to find (a hostile image would otherwise keep it
// walking). Before it sees an image, a quick check of our own tells a file
// that holds no UDF at all, which it would answer with its own chatter.
#include <fcntl.h>
#include <sys/stat.h>
#include <udfread/blockinput.h>
#include <udfread/udfread.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/error.h"
#include "base/format.h"
#include "base/posix_io.h"
#include "disc/paths.h"
#include "disc/volume.h"

namespace pelvano {

namespace {

constexpr uint64_t kBlock = UDF_BLOCK_SIZE;
// The anchor of a UDF volume is at block 256 (also at the end, which a
// volume this short has not got).
constexpr uint32_t kAnchorBlock = 256;
// Blocks read to find and read the navigation files: far more than any real
// disc needs (a DVD's are a few hundred, a Blu-ray's a few thousand).
constexpr uint64_t kReadBudget = uint64_t{1} << 18;

const char* const kDidNotFinish = "reading the disc's file system did not finish";

// The block input handed to libudfread; `callbacks` comes first, as the
// library hands back a pointer to it.
struct BlockInput {
    udfread_block_input callbacks{};
    int fd = -1;
    uint32_t blocks = 0;
    uint64_t budget = kReadBudget;
    bool exhausted = false;

    static BlockInput& Of(udfread_block_input* input) { return *reinterpret_cast<BlockInput*>(input); }

    static int Read(udfread_block_input* input, uint32_t lba, void* buffer, uint32_t count, int)
    {
        BlockInput& self = Of(input);
        if (lba >= self.blocks)
            return -1;
        count = std::min(count, self.blocks - lba);
        if (count > self.budget) {
            self.exhausted = true;
            return -1;
        }
        self.budget -= count;
        const ssize_t got =
            detail::ReadAll(self.fd, static_cast<char*>(buffer), count * kBlock, lba * kBlock);
        return got < static_cast<ssize_t>(kBlock) ? -1
                                                  : static_cast<int>(static_cast<uint64_t>(got) / kBlock);
    }

    static uint32_t Size(udfread_block_input* input) { return Of(input).blocks; }

    // One block, or nothing past the end.
    bool block(uint32_t lba, char* out) const
    {
        return lba < blocks && detail::ReadAll(fd, out, kBlock, lba * kBlock) == static_cast<ssize_t>(kBlock);
    }
};

// Whether the volume recognition sequence names a UDF volume (an NSR
// descriptor after a BEA) and an anchor sits where UDF puts one.
bool LooksLikeUdf(const BlockInput& input)
{
    char block[kBlock];
    bool beginning = false;
    bool nsr = false;
    for (uint32_t lba = 16; lba < kAnchorBlock && !nsr; ++lba) {
        if (!input.block(lba, block) || std::memcmp(block + 1, "TEA01", 5) == 0)
            break;
        if (std::all_of(block, block + 7, [](char c) { return c == 0; }))
            break;
        beginning = beginning || std::memcmp(block + 1, "BEA01", 5) == 0;
        nsr =
            beginning && (std::memcmp(block + 1, "NSR02", 5) == 0 || std::memcmp(block + 1, "NSR03", 5) == 0);
    }
    if (!nsr)
        return false;
    for (const uint32_t lba : {kAnchorBlock, input.blocks - 1, input.blocks - 1 - kAnchorBlock}) {
        if (input.block(lba, block) && block[0] == 2 && block[1] == 0)
            return true;
    }
    return false;
}

class UdfVolume : public Volume {
public:
    UdfVolume(const std::string& path, int fd, uint32_t blocks) : path_(path)
    {
        input_.callbacks.read = &BlockInput::Read;
        input_.callbacks.size = &BlockInput::Size;
        input_.fd = fd;
        input_.blocks = blocks;
        inputs_.push_back(path);
    }
    ~UdfVolume() override
    {
        if (udf_)
            udfread_close(udf_);
        ::close(input_.fd);
    }
    UdfVolume(const UdfVolume&) = delete;
    UdfVolume& operator=(const UdfVolume&) = delete;

    void open()
    {
        if (!LooksLikeUdf(input_))
            throw Error(path_, "no UDF file system (not a DVD image)");
        udf_ = udfread_init();
        if (!udf_)
            throw Error(path_, SystemReason(ENOMEM));
        if (udfread_open_input(udf_, &input_.callbacks) < 0) {
            // Closing a handle that never opened frees what it read so far.
            udfread_close(udf_);
            udf_ = nullptr;
            throw Error(path_, input_.exhausted ? kDidNotFinish : "its UDF file system is damaged");
        }
    }

    std::vector<Entry> list(const std::string& dir) override
    {
        std::vector<Entry> entries;
        UDFDIR* d = udfread_opendir(udf_, ("/" + dir).c_str());
        if (d) {
            udfread_dirent entry{};
            while (udfread_readdir(d, &entry)) {
                if (entry.d_name && std::strcmp(entry.d_name, "..") != 0)
                    entries.push_back({entry.d_name, entry.d_type == UDF_DT_DIR});
            }
            udfread_closedir(d);
        }
        if (input_.exhausted)
            throw Error(kDidNotFinish);
        return entries;
    }

    std::string read(const std::string& file, size_t limit) override
    {
        const std::string name = BaseName(file);
        UDFFILE* f = udfread_file_open(udf_, ("/" + file).c_str());
        if (!f)
            throw Error(input_.exhausted ? std::string(kDidNotFinish)
                                         : name + " cannot be read (a damaged image?)");
        const int64_t size = udfread_file_size(f);
        std::string bytes(size > 0 ? std::min<uint64_t>(static_cast<uint64_t>(size), limit) : 0, '\0');
        const ssize_t got = bytes.empty() ? 0 : udfread_file_read(f, bytes.data(), bytes.size());
        udfread_file_close(f);
        if (input_.exhausted)
            throw Error(kDidNotFinish);
        if (size < 0 || got != static_cast<ssize_t>(bytes.size()))
            throw Error(name + " cannot be read (a truncated image?)");
        return bytes;
    }

private:
    std::string path_;
    BlockInput input_;
    udfread* udf_ = nullptr;
};

}  // namespace

std::unique_ptr<Volume> OpenUdfVolume(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw Error(path, SystemReason(errno));
    // The size of a file or of the disc in a drive alike.
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (size < 0) {
        const int error = errno;
        ::close(fd);
        throw Error(path, SystemReason(error));
    }
    if (size == 0 || size < static_cast<off_t>((kAnchorBlock + 1) * kBlock)) {
        ::close(fd);
        throw Error(
            path, size == 0 ? std::string("the file is empty")
                            : Format("too short for a DVD image (%lld bytes)", static_cast<long long>(size)));
    }
    const uint64_t blocks = static_cast<uint64_t>(size) / kBlock;
    auto volume =
        std::make_unique<UdfVolume>(path, fd, static_cast<uint32_t>(std::min<uint64_t>(blocks, UINT32_MAX)));
    volume->open();
    return volume;
}

}  // namespace pelvano
