// One rendering with key-frame snapping against a two-hour AVI, the way the
// window renders: open the file, read its index, snap 100 chapters, close.
//
// The AVI (180 000 frames at 25 fps, 16x16 MPEG-4, key frames 12 to 250
// frames apart) is made once with ffmpeg and kept in
// $PELVANO_BENCH_DIR (default: <temp>/pelvano-bench).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/error.h"
#include "chapters/chapter_model.h"
#include "output/video/avi_keyframes.h"
#include "output/format_engine.h"

namespace fs = std::filesystem;
using namespace pelvano;

namespace {

constexpr int kChapters = 100;
constexpr uint32_t kTwoHoursMs = 2 * 3'600'000;

std::string BenchFile()
{
    const char* dir = std::getenv("PELVANO_BENCH_DIR");
    const fs::path folder = dir && *dir ? fs::path(dir) : fs::temp_directory_path() / "pelvano-bench";
    const fs::path file = folder / "two_hours_25fps.avi";
    if (fs::exists(file))
        return file.string();

    fs::create_directories(folder);
    const fs::path partial = folder / "two_hours_25fps.partial.avi";
    // Each forced key frame sets the distance to the next one:
    // 12 + (n * 7919 mod 239), i.e. 12 to 250 frames, spread evenly.
    const std::string command =
        "ffmpeg -nostdin -hide_banner -loglevel error -y"
        " -f lavfi -i color=c=gray:s=16x16:r=25:d=7200"
        " -c:v mpeg4 -bf 0 -g 300"
        " -force_key_frames 'expr:isnan(prev_forced_n)+gte(n,prev_forced_n+12+mod(prev_forced_n*7919,239))'"
        " '" + partial.string() + "'";
    std::fprintf(stderr, "Making %s (once)...\n", file.c_str());
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "ffmpeg failed; is it installed?\n");
        std::exit(1);
    }
    fs::rename(partial, file);
    return file.string();
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

}  // namespace

BENCHMARK_MAIN();
