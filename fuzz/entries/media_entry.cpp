#include <cstring>

#include "base/error.h"
#include "fuzz_entries.h"
#include "fuzz_support.h"
#include "output/video/media_keyframes.h"

namespace pelvano::fuzz {

void MediaInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return;
    // The first byte picks the container, the rest is the file.
    const bool matroska = data[0] % 2 == 0;
    const std::string path = ScratchFile(matroska ? "input.mkv" : "input.mp4");
    WriteBytes(path, data + 1, size - 1);
    FUZZ_CHECK(ContainerOf(path) == (matroska ? Container::Matroska : Container::Mp4));

    MediaKeyFrames read;
    try {
        read = ReadMediaKeyFrames(path, ContainerOf(path));
    } catch (const Error& e) {
        FUZZ_CHECK_MSG(std::strcmp(e.what(), kMediaOpenError) == 0 ||
                           std::strcmp(e.what(), kMediaNoVideoError) == 0 ||
                           std::strcmp(e.what(), kMediaVariableRateError) == 0,
                       e.what());
        return;
    }
    for (size_t i = 0; i < read.keys.size(); ++i) {
        FUZZ_CHECK(read.keys[i] >= 0);
        FUZZ_CHECK(i == 0 || read.keys[i - 1] < read.keys[i]);
    }
    if (const std::optional<std::string> text = FrameRateText(read.rate)) {
        FUZZ_CHECK(!text->empty() && text->size() <= 10);
        FUZZ_CHECK(text->find_first_not_of("0123456789") == std::string::npos);
    }
}

}  // namespace pelvano::fuzz
