#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "output/keyframes.h"
#include "output/video/video_keyframes.h"

namespace pelvano {

// The two user-facing messages of an AVI file that can't be used.
inline constexpr const char* kAviOpenError = "# AVIFileOpen : AVI source init error !";
inline constexpr const char* kAviNoVideoError = "# AVIFileGetStream : Can't get a video stream !";

// The key frames of the first video stream of an AVI file, read from the
// file's index (or, for a file without one, from its packet flags) in one
// go: the file itself is closed again before Open returns.
class AviKeyFrames : public KeyFrameSource {
public:
    // Throws Error(kAviOpenError) for a file that isn't a readable AVI file
    // and Error(kAviNoVideoError) for one without a video stream.
    static std::unique_ptr<AviKeyFrames> Open(const std::string& path);

    // The rate of the first video stream, or nothing for a file without
    // one. Throws Error(kAviOpenError) like Open.
    static std::optional<AviRate> ReadRate(const std::string& path);

    // ReadRate then FrameRateText: the text "Open AVI" puts into the frame
    // rate field, or nothing to leave that field as it is.
    static std::optional<std::string> ReadFrameRateText(const std::string& path);

    int32_t keyFrameAtOrBefore(int32_t f) override;
    int32_t keyFrameAtOrAfter(int32_t f) override;

    // Sample numbers of the key frames, ascending, no duplicates.
    const std::vector<int32_t>& keyFrames() const { return keys_; }

    explicit AviKeyFrames(std::vector<int32_t> keys);

private:
    std::vector<int32_t> keys_;
};

}  // namespace pelvano
