#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "chapters/chapter_model.h"
#include "output/keyframes.h"

namespace pelvano {

// The name of a chapter that has none of its own: "Chapter 01", ...
inline constexpr std::string_view kDefaultNameTemplate = "Chapter %C";

struct RenderInput {
    std::string format;       // edFormat
    std::string header;       // edHeader
    std::string frameRate;    // cbFrameRate, thousandths of a frame per second
    std::string frameOffset;  // edFrameOff
    std::string msOffset;     // edMsOff
    std::string footer = {};  // edFooter: written after the last chapter as the header before the first
    // "%n" of chapter k: names[k] when it is there and not empty, else the
    // template rendered for that chapter (where "%n" and "%nx" stay text).
    std::string nameTemplate = std::string(kDefaultNameTemplate);
    std::vector<std::string> names = {};
};

// Opens the key-frame source for one rendering; it is closed (destroyed) on
// every way out. Throws Error when the file or its video stream can't be had.
using KeyFrameOpener = std::function<std::unique_ptr<KeyFrameSource>()>;

struct RenderOutput {
    std::string text;        // items, each followed by CR LF
    int32_t frameRateMilli;  // the rate parsed
};

// The chapter list of `model` through the format line, header and footer.
// Besides the start placeholders of the language, "%ehh %emm %ess %ecc
// %eff %ef %ems" give the chapter's end the same way (the next chapter's
// start; for the last, the total of the cells that count), and "%t" / "%et"
// the start and end in whole milliseconds, "%n" the chapter's name and "%nx"
// the name with "&", "<" and ">" written as XML and WebVTT need them. A name
// is put in as it stands, never read for placeholders. Throws
// Error("'%s' is not a valid integer value") for a timing text that does
// not parse, and Error("'%s' is not a valid frame rate") for a rate of 0 or
// below; `snap` (may be empty) is opened first, before anything is parsed.
// An opener that returns null leaves the frame numbers unsnapped.
RenderOutput RenderChapters(const TitleModel& model, const RenderInput& input,
                            const KeyFrameOpener& snap = {});

// "\n" (backslash, n) -> CR LF.
std::string ExpandLineBreaks(const std::string& text);

}  // namespace pelvano
