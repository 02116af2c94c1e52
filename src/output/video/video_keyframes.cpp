#include "output/video/video_keyframes.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "base/error.h"
#include "output/video/video_module_abi.h"

namespace pelvano {

namespace {

struct VideoModule {
    PelvanoVideoReadFn read = nullptr;
    PelvanoVideoFreeFn free = nullptr;
};

// The folder of the binary this code is linked into: the executable, or
// the window module beside it. For the executable the loader reports
// argv[0], which may be a link in bin/ or a bare name found in PATH; the
// kernel's /proc/self/exe names the real file.
std::string OwnFolder()
{
    Dl_info info{};
    link_map* map = nullptr;
    if (!dladdr1(reinterpret_cast<void*>(&OwnFolder), &info, reinterpret_cast<void**>(&map),
                 RTLD_DL_LINKMAP) ||
        !info.dli_fname)
        return "";
    std::string self = info.dli_fname;
    if (map && map->l_name && !*map->l_name) {
        char exe[4096];
        const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
        if (n > 0)
            self.assign(exe, static_cast<size_t>(n));
    }
    const size_t slash = self.rfind('/');
    return slash == std::string::npos ? "" : self.substr(0, slash + 1);
}

const VideoModule& Module()
{
    static std::mutex mutex;
    static VideoModule module;
    const std::lock_guard lock(mutex);
    if (module.read)
        return module;
    const char* named = std::getenv("PELVANO_VIDEO_MODULE");
    const std::string path = named && *named ? named : OwnFolder() + "libpelvano_video.so";
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        throw Error(std::string(kVideoModuleMissing) + ": " + dlerror());
    // Never closed: the libraries it maps stay for the rest of the run.
    const auto abi = reinterpret_cast<PelvanoVideoAbiFn>(dlsym(handle, "PelvanoVideoAbi"));
    const auto read = reinterpret_cast<PelvanoVideoReadFn>(dlsym(handle, "PelvanoVideoRead"));
    const auto release = reinterpret_cast<PelvanoVideoFreeFn>(dlsym(handle, "PelvanoVideoFree"));
    if (!abi || !read || !release || abi() != PELVANO_VIDEO_ABI)
        throw Error(std::string(kVideoModuleMissing) + ": " + path + " is not a matching video module");
    module.free = release;
    module.read = read;
    return module;
}

struct Reading {
    std::optional<std::string> rateText;
    std::shared_ptr<const std::vector<int32_t>> keys;  // null when not read
};

Reading Read(const std::string& path, PelvanoVideoWhat what)
{
    const VideoModule& module = Module();
    PelvanoVideoAnswer answer{};
    module.read(path.c_str(), what, &answer);
    struct Release {
        const VideoModule& module;
        PelvanoVideoAnswer& answer;
        ~Release() { module.free(&answer); }
    } release{module, answer};
    if (answer.error[0])
        throw Error(std::string(answer.error, strnlen(answer.error, sizeof answer.error)));
    Reading reading;
    const std::string rate(answer.rateText, strnlen(answer.rateText, sizeof answer.rateText));
    if (!rate.empty())
        reading.rateText = rate;
    if (answer.hasKeys)
        reading.keys =
            std::make_shared<const std::vector<int32_t>>(answer.keys, answer.keys + answer.keyCount);
    return reading;
}

}  // namespace

std::optional<std::string> FrameRateText(const AviRate& rate, RateRounding rounding)
{
    if (rate.rate == 0 || rate.scale == 0)
        return std::nullopt;
    // In halves of the divisor: up adds all but one of them, nearest one half.
    const uint64_t twice = uint64_t{rate.rate} * 2000;
    const uint64_t divisor = uint64_t{rate.scale} * 2;
    const uint64_t milli = (twice + (rounding == RateRounding::Up ? divisor - 1 : rate.scale)) / divisor;
    if (milli > INT32_MAX)
        return std::nullopt;
    return std::to_string(milli);
}

VideoKeyFrames::VideoKeyFrames(std::shared_ptr<const std::vector<int32_t>> keys) : keys_(std::move(keys)) {}

std::unique_ptr<VideoKeyFrames> VideoKeyFrames::Open(const std::string& path)
{
    return std::make_unique<VideoKeyFrames>(Read(path, PELVANO_VIDEO_KEY_FRAMES).keys);
}

int32_t VideoKeyFrames::keyFrameAtOrBefore(int32_t f)
{
    const auto it = std::upper_bound(keys_->begin(), keys_->end(), f);
    return it == keys_->begin() ? -1 : *std::prev(it);
}

int32_t VideoKeyFrames::keyFrameAtOrAfter(int32_t f)
{
    const auto it = std::lower_bound(keys_->begin(), keys_->end(), f);
    return it == keys_->end() ? -1 : *it;
}

bool KeyFrameIndexCache::Identity::operator==(const Identity& o) const
{
    return path == o.path && device == o.device && inode == o.inode && size == o.size &&
           modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
}

std::optional<KeyFrameIndexCache::Identity> KeyFrameIndexCache::IdentityOf(const std::string& path)
{
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return Identity{path, st.st_dev, st.st_ino, st.st_size, st.st_mtim};
}

std::optional<std::string> KeyFrameIndexCache::openVideo(const std::string& path)
{
    // Taken before reading: a change while the file is read shows next time.
    const std::optional<Identity> identity = IdentityOf(path);
    identity_.reset();
    keys_.reset();
    Reading reading = Read(path, PELVANO_VIDEO_RATE);
    if (identity && reading.keys) {
        identity_ = identity;
        keys_ = std::move(reading.keys);
    }
    return reading.rateText;
}

std::unique_ptr<KeyFrameSource> KeyFrameIndexCache::keyFrames(const std::string& path)
{
    const std::optional<Identity> identity = IdentityOf(path);
    if (identity && identity_ && *identity == *identity_)
        return std::make_unique<VideoKeyFrames>(keys_);
    identity_.reset();
    keys_.reset();
    std::shared_ptr<const std::vector<int32_t>> keys = Read(path, PELVANO_VIDEO_KEY_FRAMES).keys;
    if (identity) {
        identity_ = identity;
        keys_ = keys;
    }
    return std::make_unique<VideoKeyFrames>(std::move(keys));
}

}  // namespace pelvano
