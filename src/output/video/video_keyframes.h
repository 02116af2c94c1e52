#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "output/keyframes.h"

namespace pelvano {

// Samples per second of a stream, as its AVI stream header gives them:
// rate / scale (possibly reduced by a common factor).
struct AviRate {
    uint32_t rate = 0;
    uint32_t scale = 0;
};

// How a rate becomes thousandths: an AVI file's rate is rounded up (the
// exact ceiling, "29971" for 30000/1001), as "Open AVI" always did; a
// Matroska or MP4 file's, and a rate typed as a decimal or fraction, to the
// nearest thousandth ("29970"; a half goes up).
enum class RateRounding { Up, Nearest };

// The frame rate text in thousandths of rate * 1000 / scale. Nothing for a
// scale or rate of 0, nor for a result no 32-bit rate field can hold. In the
// core, so that a rate typed on the command line becomes the text a video gives.
std::optional<std::string> FrameRateText(const AviRate& rate, RateRounding rounding = RateRounding::Up);

// Key frames of a video file, shared with the index they were read into.
class VideoKeyFrames : public KeyFrameSource {
public:
    explicit VideoKeyFrames(std::shared_ptr<const std::vector<int32_t>> keys);

    // Reads the key frames of the first video stream of an AVI, Matroska or
    // MP4/MOV file (chosen by the file's extension; anything but .mkv, .webm,
    // .mp4, .m4v and .mov is read as AVI). Throws Error with the message
    // for the user ("# AVIFileOpen : AVI source init error !" and the like),
    // or with kVideoModuleMissing when the video module can't be loaded.
    static std::unique_ptr<VideoKeyFrames> Open(const std::string& path);

    int32_t keyFrameAtOrBefore(int32_t f) override;
    int32_t keyFrameAtOrAfter(int32_t f) override;

    const std::vector<int32_t>& keyFrames() const { return *keys_; }

private:
    std::shared_ptr<const std::vector<int32_t>> keys_;
};

// The key-frame reader lives in libpelvano_video.so beside the executable
// (or where $PELVANO_VIDEO_MODULE names it), so that only a program that
// opens a video file maps libavformat. It is loaded on first use; when it is
// missing, reading fails with Error(kVideoModuleMissing + ": " + the loader's
// reason).
inline constexpr const char* kVideoModuleMissing = "The video module can't be loaded";

// The key-frame index of the video file rendered last, kept while the file
// stays the same one: same path, device and inode, size and modification
// time (one stat per rendering). A file moved, changed or deleted is read
// afresh, with the messages of a first reading.
class KeyFrameIndexCache {
public:
    // "Open video": the frame-rate text the file gives (nothing for none).
    // A Matroska or MP4 file is read whole here, and its index kept.
    // Throws Error like VideoKeyFrames::Open.
    std::optional<std::string> openVideo(const std::string& path);

    // The key frames for one rendering.
    std::unique_ptr<KeyFrameSource> keyFrames(const std::string& path);

private:
    struct Identity {
        std::string path;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        bool operator==(const Identity& o) const;
    };
    static std::optional<Identity> IdentityOf(const std::string& path);

    std::optional<Identity> identity_;
    std::shared_ptr<const std::vector<int32_t>> keys_;
};

}  // namespace pelvano
