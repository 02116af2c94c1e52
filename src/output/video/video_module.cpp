// libpelvano_video.so: the key-frame readers behind the plain C interface
// of video_module_abi.h. Loaded by the core on the first video file opened.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "output/video/avi_keyframes.h"
#include "output/video/media_keyframes.h"
#include "output/video/video_module_abi.h"

namespace {

using namespace pelvano;

void Copy(char* to, size_t size, const std::string& text)
{
    const size_t n = std::min(size - 1, text.size());
    std::memcpy(to, text.data(), n);
    to[n] = '\0';
}

void SetKeys(PelvanoVideoAnswer* answer, const std::vector<int32_t>& keys)
{
    answer->keys = static_cast<int32_t*>(std::malloc(std::max<size_t>(1, keys.size()) * sizeof(int32_t)));
    if (!answer->keys)
        throw std::bad_alloc();
    if (!keys.empty())
        std::memcpy(answer->keys, keys.data(), keys.size() * sizeof(int32_t));
    answer->keyCount = keys.size();
    answer->hasKeys = 1;
}

void Read(const std::string& path, int what, PelvanoVideoAnswer* answer)
{
    const Container container = ContainerOf(path);
    if (container == Container::Avi) {
        if (what == PELVANO_VIDEO_RATE) {
            if (const std::optional<std::string> text = AviKeyFrames::ReadFrameRateText(path))
                Copy(answer->rateText, sizeof answer->rateText, *text);
        } else {
            SetKeys(answer, AviKeyFrames::Open(path)->keyFrames());
        }
        return;
    }
    const MediaKeyFrames media = ReadMediaKeyFrames(path, container);
    if (const std::optional<std::string> text = FrameRateText(media.rate, RateRounding::Nearest))
        Copy(answer->rateText, sizeof answer->rateText, *text);
    SetKeys(answer, media.keys);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int PelvanoVideoAbi()
{
    return PELVANO_VIDEO_ABI;
}

extern "C" __attribute__((visibility("default"))) void PelvanoVideoRead(const char* path, int what,
                                                                        PelvanoVideoAnswer* answer)
{
    std::memset(answer, 0, sizeof *answer);
    try {
        Read(path ? path : "", what, answer);
    } catch (const Error& e) {
        Copy(answer->error, sizeof answer->error, e.what());
    } catch (const std::exception& e) {
        Copy(answer->error, sizeof answer->error, e.what());
    }
    if (answer->error[0]) {
        std::free(answer->keys);
        answer->keys = nullptr;
        answer->keyCount = 0;
        answer->hasKeys = 0;
    }
}

extern "C" __attribute__((visibility("default"))) void PelvanoVideoFree(PelvanoVideoAnswer* answer)
{
    std::free(answer->keys);
    answer->keys = nullptr;
    answer->keyCount = 0;
}
