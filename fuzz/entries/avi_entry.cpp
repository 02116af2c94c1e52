#include "fuzz_entries.h"

#include <algorithm>
#include <cstring>

#include "base/error.h"
#include "fuzz_support.h"
#include "output/video/avi_keyframes.h"

namespace pelvano::fuzz {

namespace {

void CheckAviError(const Error& e)
{
    FUZZ_CHECK_MSG(std::strcmp(e.what(), kAviOpenError) == 0 || std::strcmp(e.what(), kAviNoVideoError) == 0,
                   e.what());
}

}  // namespace

void AviInput(const uint8_t* data, size_t size)
{
    const std::string path = ScratchFile("input.avi");
    WriteBytes(path, data, size);

    try {
        const std::optional<AviRate> rate = AviKeyFrames::ReadRate(path);
        const std::optional<std::string> text = AviKeyFrames::ReadFrameRateText(path);
        FUZZ_CHECK(text == (rate ? FrameRateText(*rate) : std::nullopt));
        if (text) {
            FUZZ_CHECK(!text->empty() && text->size() <= 10);
            FUZZ_CHECK(std::all_of(text->begin(), text->end(), [](char c) { return c >= '0' && c <= '9'; }));
        }
    } catch (const Error& e) {
        CheckAviError(e);
    }

    std::unique_ptr<AviKeyFrames> source;
    try {
        source = AviKeyFrames::Open(path);
    } catch (const Error& e) {
        CheckAviError(e);
        return;
    }
    const std::vector<int32_t>& keys = source->keyFrames();
    for (size_t i = 0; i < keys.size(); ++i) {
        FUZZ_CHECK(keys[i] >= 0);
        FUZZ_CHECK(i == 0 || keys[i - 1] < keys[i]);
    }
    // Lookups around every key frame and at the ends of the range.
    std::vector<int32_t> probes = {0, 1, INT32_MAX};
    for (size_t i = 0; i < keys.size() && i < 64; ++i) {
        probes.push_back(keys[i]);
        if (keys[i] > 0)
            probes.push_back(keys[i] - 1);
        if (keys[i] < INT32_MAX)
            probes.push_back(keys[i] + 1);
    }
    for (int32_t f : probes) {
        const int32_t before = source->keyFrameAtOrBefore(f);
        const int32_t after = source->keyFrameAtOrAfter(f);
        FUZZ_CHECK(before == -1 || (before <= f && std::binary_search(keys.begin(), keys.end(), before)));
        FUZZ_CHECK(after == -1 || (after >= f && std::binary_search(keys.begin(), keys.end(), after)));
        FUZZ_CHECK((before == -1 && after == -1) == keys.empty());
        const int32_t snapped = SnapToKeyFrame(*source, f);
        FUZZ_CHECK(keys.empty() ? snapped == f : std::binary_search(keys.begin(), keys.end(), snapped));
    }
}

}  // namespace pelvano::fuzz
