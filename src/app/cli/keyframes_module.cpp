// libpelvano_keyframes.so: the key frames of a video file through
// libavformat, loaded by the executable only for --keyframes so that every
// other run starts without libavformat. Only C types cross the boundary:
// the executable carries its own copy of the C++ runtime.
#include <cstdlib>
#include <cstring>

#include "app/cli/keyframes_module.h"
#include "base/error.h"
#include "output/avi/avi_keyframes.h"

namespace {

char* CopyOf(const std::string& text)
{
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy)
        std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int PelvanoReadKeyFrames(const char* path,
                                                                           PelvanoKeyFrameList* list)
{
    *list = PelvanoKeyFrameList{};
    try {
        const std::unique_ptr<pelvano::AviKeyFrames> source = pelvano::AviKeyFrames::Open(path);
        if (const std::optional<std::string> rate = pelvano::AviKeyFrames::ReadFrameRateText(path))
            list->frameRate = CopyOf(*rate);
        const std::vector<int32_t>& keys = source->keyFrames();
        list->frames = static_cast<int32_t*>(std::malloc((keys.size() + 1) * sizeof(int32_t)));
        if (!list->frames)
            throw pelvano::Error("out of memory");
        std::memcpy(list->frames, keys.data(), keys.size() * sizeof(int32_t));
        list->count = keys.size();
        return 0;
    } catch (const std::exception& e) {
        PelvanoFreeKeyFrames(list);
        list->error = CopyOf(e.what());
        return 1;
    }
}

extern "C" __attribute__((visibility("default"))) void PelvanoFreeKeyFrames(PelvanoKeyFrameList* list)
{
    std::free(list->frames);
    std::free(list->frameRate);
    std::free(list->error);
    *list = PelvanoKeyFrameList{};
}
