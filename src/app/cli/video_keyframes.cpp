#include "app/cli/video_keyframes.h"

#include <dlfcn.h>

#include <algorithm>

#include "app/cli/keyframes_module.h"
#include "base/error.h"
#include "base/format.h"

namespace pelvano::cli {

std::unique_ptr<VideoKeyFrames> VideoKeyFrames::Read(const std::string& moduleDir, const std::string& path)
{
    const std::string module = moduleDir + "libpelvano_keyframes.so";
    // Kept loaded: libavformat does not expect to be unloaded.
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        throw Error(Format("cannot load the key-frame reader: %s", dlerror()));
    auto read = reinterpret_cast<PelvanoReadKeyFramesFn>(dlsym(handle, "PelvanoReadKeyFrames"));
    auto release = reinterpret_cast<PelvanoFreeKeyFramesFn>(dlsym(handle, "PelvanoFreeKeyFrames"));
    if (!read || !release)
        throw Error(module + ": not the key-frame reader");

    PelvanoKeyFrameList list;
    const int failed = read(path.c_str(), &list);
    auto result = std::make_unique<VideoKeyFrames>();
    const std::string error = list.error ? list.error : "cannot read the key frames";
    if (!failed) {
        result->keys_.assign(list.frames, list.frames + list.count);
        if (list.frameRate)
            result->frameRate_ = list.frameRate;
    }
    release(&list);
    if (failed)
        throw Error(path + ": " + error);
    return result;
}

int32_t VideoKeyFrames::keyFrameAtOrBefore(int32_t f)
{
    const auto it = std::upper_bound(keys_.begin(), keys_.end(), f);
    return it == keys_.begin() ? -1 : *(it - 1);
}

int32_t VideoKeyFrames::keyFrameAtOrAfter(int32_t f)
{
    const auto it = std::lower_bound(keys_.begin(), keys_.end(), f);
    return it == keys_.end() ? -1 : *it;
}

}  // namespace pelvano::cli
