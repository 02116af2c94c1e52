#include "output/avi/avi_keyframes.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <mutex>
#include <system_error>

extern "C" {
#include <libavformat/avformat.h>
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

struct InputCloser {
    void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};
using Input = std::unique_ptr<AVFormatContext, InputCloser>;

struct PacketFreer {
    void operator()(AVPacket* pkt) const { av_packet_free(&pkt); }
};
using Packet = std::unique_ptr<AVPacket, PacketFreer>;

struct Options {
    AVDictionary* dict = nullptr;
    Options() = default;
    Options(const Options&) = delete;
    Options& operator=(const Options&) = delete;
    ~Options() { av_dict_free(&dict); }
};

// Opens `path` with the AVI demuxer; the header is read, nothing else.
Input OpenAvi(const std::string& path)
{
    SilenceLibav();

    // A FIFO would block the open and a device would be read for ever;
    // neither is a file someone picked to take key frames from.
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec))
        throw Error(kAviOpenError);

    const AVInputFormat* avi = av_find_input_format("avi");
    if (!avi)
        throw Error(kAviOpenError);

    // Only the file protocol: a name such as "http:x.avi" stays a file name.
    Options options;
    av_dict_set(&options.dict, "protocol_whitelist", "file", 0);

    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        throw Error(kAviOpenError);
    // On failure avformat_open_input frees the context itself.
    if (avformat_open_input(&raw, ("file:" + path).c_str(), avi, &options.dict) < 0)
        throw Error(kAviOpenError);
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

bool IsPosition(int64_t ts)
{
    return ts != AV_NOPTS_VALUE && ts >= 0 && ts <= INT32_MAX;
}

// The AVI demuxer reads idx1 (or the OpenDML indexes) into the stream's
// index, timestamps in the stream's time base scale/rate: one tick per
// video chunk, i.e. the sample number.
std::vector<int32_t> KeyFramesFromIndex(AVStream* st)
{
    std::vector<int32_t> keys;
    const int count = avformat_index_get_entries_count(st);
    for (int i = 0; i < count; ++i) {
        const AVIndexEntry* e = avformat_index_get_entry(st, i);
        if (e && (e->flags & AVINDEX_KEYFRAME) && IsPosition(e->timestamp))
            keys.push_back(static_cast<int32_t>(e->timestamp));
    }
    return keys;
}

// For a file without an index: one pass over the video packets, their key
// flags and decode timestamps (again sample numbers), no decoding. Stops at
// the end of the file or at the first error, as a truncated file ends; the
// frame cut in half there comes flagged corrupt, and is no key frame to
// snap to.
std::vector<int32_t> KeyFramesFromPackets(AVFormatContext* ctx, AVStream* video)
{
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        ctx->streams[i]->discard = ctx->streams[i] == video ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

    std::vector<int32_t> keys;
    Packet pkt(av_packet_alloc());
    if (!pkt)
        return keys;
    while (av_read_frame(ctx, pkt.get()) >= 0) {
        if (pkt->stream_index == video->index && (pkt->flags & AV_PKT_FLAG_KEY)
            && !(pkt->flags & AV_PKT_FLAG_CORRUPT)) {
            const int64_t ts = pkt->dts != AV_NOPTS_VALUE ? pkt->dts : pkt->pts;
            if (IsPosition(ts))
                keys.push_back(static_cast<int32_t>(ts));
        }
        av_packet_unref(pkt.get());
    }
    return keys;
}

}  // namespace

std::optional<std::string> FrameRateText(const AviRate& rate)
{
    if (rate.rate == 0 || rate.scale == 0)
        return std::nullopt;
    const uint64_t milli = (uint64_t{rate.rate} * 1000 + rate.scale - 1) / rate.scale;
    if (milli > INT32_MAX)
        return std::nullopt;
    return std::to_string(milli);
}

AviKeyFrames::AviKeyFrames(std::vector<int32_t> keys) : keys_(std::move(keys))
{
    std::sort(keys_.begin(), keys_.end());
    keys_.erase(std::unique(keys_.begin(), keys_.end()), keys_.end());
}

std::unique_ptr<AviKeyFrames> AviKeyFrames::Open(const std::string& path)
{
    Input input = OpenAvi(path);
    AVStream* video = FirstVideoStream(input.get());
    if (!video)
        throw Error(kAviNoVideoError);
    std::vector<int32_t> keys = avformat_index_get_entries_count(video) > 0
                                    ? KeyFramesFromIndex(video)
                                    : KeyFramesFromPackets(input.get(), video);
    return std::make_unique<AviKeyFrames>(std::move(keys));
}

std::optional<AviRate> AviKeyFrames::ReadRate(const std::string& path)
{
    Input input = OpenAvi(path);
    const AVStream* video = FirstVideoStream(input.get());
    if (!video)
        return std::nullopt;
    // The demuxer sets the time base to the stream header's dwScale/dwRate
    // (reduced); an unusable header gets its substitute there too.
    const AVRational tb = video->time_base;
    if (tb.num <= 0 || tb.den <= 0)
        return std::nullopt;
    return AviRate{static_cast<uint32_t>(tb.den), static_cast<uint32_t>(tb.num)};
}

std::optional<std::string> AviKeyFrames::ReadFrameRateText(const std::string& path)
{
    const std::optional<AviRate> rate = ReadRate(path);
    return rate ? FrameRateText(*rate) : std::nullopt;
}

int32_t AviKeyFrames::keyFrameAtOrBefore(int32_t f)
{
    const auto it = std::upper_bound(keys_.begin(), keys_.end(), f);
    return it == keys_.begin() ? -1 : *std::prev(it);
}

int32_t AviKeyFrames::keyFrameAtOrAfter(int32_t f)
{
    const auto it = std::lower_bound(keys_.begin(), keys_.end(), f);
    return it == keys_.end() ? -1 : *it;
}

}  // namespace pelvano
