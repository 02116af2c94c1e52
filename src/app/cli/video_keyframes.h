#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "output/keyframes.h"

namespace pelvano::cli {

// The key frames of a video file, read once through libpelvano_keyframes.so
// in `moduleDir`.
class VideoKeyFrames : public KeyFrameSource {
public:
    // Throws Error naming the file (or the module) and the reason.
    static std::unique_ptr<VideoKeyFrames> Read(const std::string& moduleDir, const std::string& path);

    int32_t keyFrameAtOrBefore(int32_t f) override;
    int32_t keyFrameAtOrAfter(int32_t f) override;

    // The rate text the file gives, if any.
    const std::optional<std::string>& frameRate() const { return frameRate_; }

private:
    std::vector<int32_t> keys_;
    std::optional<std::string> frameRate_;
};

}  // namespace pelvano::cli
