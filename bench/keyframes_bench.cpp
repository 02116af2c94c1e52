// One rendering with key-frame snapping against a two-hour AVI, Matroska
// (with Cues) and MP4 file: open the file, read its index, snap 100
// chapters, close. And a rendering again against the same file, its index
// kept by the window's cache (one stat), for each kind.
//
// The files (180 000 frames at 25 fps, 16x16, key frames 12 to 250 frames
// apart; MPEG-4 in the AVI, x264 with B-frames in the others) are made once
// with ffmpeg and kept in $PELVANO_BENCH_DIR (default: <temp>/pelvano-bench).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/error.h"
#include "chapters/chapter_model.h"
#include "output/format_engine.h"
#include "output/video/avi_keyframes.h"
#include "output/video/media_keyframes.h"
#include "output/video/video_keyframes.h"

namespace fs = std::filesystem;
using namespace pelvano;

namespace {

constexpr int kChapters = 100;
constexpr uint32_t kTwoHoursMs = 2 * 3'600'000;

// Each forced key frame sets the distance to the next one:
// 12 + (n * 7919 mod 239), i.e. 12 to 250 frames, spread evenly.
const char* const kUnevenKeyFrames =
    " -force_key_frames 'expr:isnan(prev_forced_n)+gte(n,prev_forced_n+12+mod(prev_forced_n*7919,239))'";

std::string BenchFile(const std::string& extension)
{
    const char* dir = std::getenv("PELVANO_BENCH_DIR");
    const fs::path folder = dir && *dir ? fs::path(dir) : fs::temp_directory_path() / "pelvano-bench";
    const fs::path file = folder / ("two_hours_25fps." + extension);
    if (fs::exists(file))
        return file.string();

    fs::create_directories(folder);
    const fs::path partial = folder / ("two_hours_25fps.partial." + extension);
    const std::string codec = extension == "avi"
                                  ? " -c:v mpeg4 -bf 0 -g 300"
                                  : " -c:v libx264 -preset ultrafast -bf 3 -g 250 -keyint_min 12"
                                    " -sc_threshold 0";
    const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -y"
                                " -f lavfi -i color=c=gray:s=16x16:r=25:d=7200" +
                                codec + kUnevenKeyFrames + " '" + partial.string() + "'";
    std::fprintf(stderr, "Making %s (once)...\n", file.c_str());
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "ffmpeg failed; is it installed?\n");
        std::exit(1);
    }
    fs::rename(partial, file);
    return file.string();
}

std::string BenchFile()
{
    return BenchFile("avi");
}

// 100 chapters spread over the two hours at uneven times, one cell each.
TitleModel HundredChapters()
{
    TitleModel model;
    for (int k = 0; k <= kChapters; ++k) {
        const uint32_t ms = static_cast<uint32_t>(uint64_t{kTwoHoursMs} * k / kChapters) + (k * 7 % 997);
        model.cellStartsMs.push_back(k == kChapters ? kTwoHoursMs : ms);
    }
    for (int k = 0; k < kChapters; ++k) {
        model.cellLengthsMs.push_back(model.cellStartsMs[k + 1] - model.cellStartsMs[k]);
        model.chapterStarts.push_back(static_cast<uint32_t>(k + 1));
    }
    model.chapterCount = kChapters;
    return model;
}

const RenderInput kMicroDvd{"{%f}{%f}Chapter %C", "", "25000", "0", "0"};

void BM_RenderWithSnapping(benchmark::State& state)
{
    const std::string path = BenchFile();
    const TitleModel model = HundredChapters();
    const KeyFrameOpener opener = [&path] { return AviKeyFrames::Open(path); };
    for (auto _ : state) {
        RenderOutput out = RenderChapters(model, kMicroDvd, opener);
        benchmark::DoNotOptimize(out.text.data());
    }
}
BENCHMARK(BM_RenderWithSnapping)->Unit(benchmark::kMillisecond);

// The parts: opening alone, and rendering against a source already open.
void BM_OpenOnly(benchmark::State& state)
{
    const std::string path = BenchFile();
    for (auto _ : state) {
        auto source = AviKeyFrames::Open(path);
        benchmark::DoNotOptimize(source->keyFrames().data());
    }
}
BENCHMARK(BM_OpenOnly)->Unit(benchmark::kMillisecond);

void BM_SnapOnly(benchmark::State& state)
{
    const std::string path = BenchFile();
    const TitleModel model = HundredChapters();
    const std::vector<int32_t> keys = AviKeyFrames::Open(path)->keyFrames();
    const KeyFrameOpener opener = [&keys] { return std::make_unique<AviKeyFrames>(keys); };
    for (auto _ : state) {
        RenderOutput out = RenderChapters(model, kMicroDvd, opener);
        benchmark::DoNotOptimize(out.text.data());
    }
}
BENCHMARK(BM_SnapOnly)->Unit(benchmark::kMicrosecond);

// Open and snap against a Matroska file (Cues present) and an MP4 file (B-frames).
void BM_RenderWithSnappingMedia(benchmark::State& state, const char* extension)
{
    const std::string path = BenchFile(extension);
    const TitleModel model = HundredChapters();
    const KeyFrameOpener opener = [&path] {
        auto keys =
            std::make_shared<const std::vector<int32_t>>(ReadMediaKeyFrames(path, ContainerOf(path)).keys);
        return std::make_unique<VideoKeyFrames>(std::move(keys));
    };
    for (auto _ : state) {
        RenderOutput out = RenderChapters(model, kMicroDvd, opener);
        benchmark::DoNotOptimize(out.text.data());
    }
}
BENCHMARK_CAPTURE(BM_RenderWithSnappingMedia, mkv, "mkv")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RenderWithSnappingMedia, mp4, "mp4")->Unit(benchmark::kMillisecond);

// A rendering again, as at every keystroke in the format field: the
// window's cache, through the video module, finds the file unchanged.
void BM_RenderAgainFromCache(benchmark::State& state, const char* extension)
{
    // The benchmark lives in its own folder, away from the module.
    setenv("PELVANO_VIDEO_MODULE", PELVANO_VIDEO_MODULE_PATH, 0);
    const std::string path = BenchFile(extension);
    const TitleModel model = HundredChapters();
    KeyFrameIndexCache cache;
    const KeyFrameOpener opener = [&] { return cache.keyFrames(path); };
    RenderChapters(model, kMicroDvd, opener);  // the first rendering reads the file
    for (auto _ : state) {
        RenderOutput out = RenderChapters(model, kMicroDvd, opener);
        benchmark::DoNotOptimize(out.text.data());
    }
}
BENCHMARK_CAPTURE(BM_RenderAgainFromCache, avi, "avi")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RenderAgainFromCache, mkv, "mkv")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RenderAgainFromCache, mp4, "mp4")->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
