#include "output/video/libav_input.h"

#include <filesystem>
#include <mutex>
#include <system_error>

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/log.h>
}

#include "base/error.h"

namespace pelvano {

namespace {

// libav* would otherwise talk to the terminal about every odd file.
void SilenceLibav()
{
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(AV_LOG_QUIET);
        av_log_set_callback([](void*, int, const char*, va_list) {});
    });
}

struct Options {
    AVDictionary* dict = nullptr;
    Options() = default;
    Options(const Options&) = delete;
    Options& operator=(const Options&) = delete;
    ~Options() { av_dict_free(&dict); }
};

}  // namespace

Input OpenInput(const std::string& path, const char* format, const char* error,
                std::initializer_list<std::pair<const char*, const char*>> demuxerOptions)
{
    SilenceLibav();

    // A FIFO would block the open and a device would be read for ever;
    // neither is a file someone picked to take key frames from.
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec))
        throw Error(error);

    const AVInputFormat* demuxer = av_find_input_format(format);
    if (!demuxer)
        throw Error(error);

    // Only the file protocol: a name such as "http:x.avi" stays a file name.
    Options options;
    av_dict_set(&options.dict, "protocol_whitelist", "file", 0);
    for (const auto& [key, value] : demuxerOptions)
        av_dict_set(&options.dict, key, value, 0);

    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        throw Error(error);
    // On failure avformat_open_input frees the context itself.
    if (avformat_open_input(&raw, ("file:" + path).c_str(), demuxer, &options.dict) < 0)
        throw Error(error);
    return Input(raw);
}

AVStream* FirstVideoStream(AVFormatContext* ctx)
{
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        AVStream* st = ctx->streams[i];
        if (st->codecpar && st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
            return st;
    }
    return nullptr;
}

}  // namespace pelvano
