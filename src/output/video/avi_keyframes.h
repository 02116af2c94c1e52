#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "output/keyframes.h"

namespace pelvano {

// The two user-facing messages of an AVI file that can't be used.
inline constexpr const char* kAviOpenError = "# AVIFileOpen : AVI source init error !";
inline constexpr const char* kAviNoVideoError = "# AVIFileGetStream : Can't get a video stream !";

// Samples per second of a stream, as its AVI stream header gives them:
// rate / scale (possibly reduced by a common factor).
struct AviRate {
    uint32_t rate = 0;
    uint32_t scale = 0;
};

// How a rate becomes thousandths: an AVI file's rate is rounded up (the
// exact ceiling, "29971" for 30000/1001), as "Open AVI" always did; a
// Matroska or MP4 file's to the nearest thousandth ("29970"; a half goes up).
enum class RateRounding { Up, Nearest };

// The frame rate text in thousandths of rate * 1000 / scale. Nothing for a
// scale or rate of 0, nor for a result no 32-bit rate field can hold.
std::optional<std::string> FrameRateText(const AviRate& rate, RateRounding rounding = RateRounding::Up);

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
