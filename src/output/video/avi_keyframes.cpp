#include "output/video/avi_keyframes.h"

#include <algorithm>
#include <climits>

#include "base/error.h"
#include "output/video/libav_input.h"

namespace pelvano {

namespace {

// Opens `path` with the AVI demuxer; the header is read, nothing else.
Input OpenAvi(const std::string& path)
{
    return OpenInput(path, "avi", kAviOpenError);
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
        if (pkt->stream_index == video->index && (pkt->flags & AV_PKT_FLAG_KEY) &&
            !(pkt->flags & AV_PKT_FLAG_CORRUPT)) {
            const int64_t ts = pkt->dts != AV_NOPTS_VALUE ? pkt->dts : pkt->pts;
            if (IsPosition(ts))
                keys.push_back(static_cast<int32_t>(ts));
        }
        av_packet_unref(pkt.get());
    }
    return keys;
}

}  // namespace

std::optional<std::string> FrameRateText(const AviRate& rate, RateRounding rounding)
{
    if (rate.rate == 0 || rate.scale == 0)
        return std::nullopt;
    // In halves of the divisor: up adds all but one of them, nearest one half.
    const uint64_t twice = uint64_t{rate.rate} * 2000;
    const uint64_t divisor = uint64_t{rate.scale} * 2;
    const uint64_t milli = (twice + (rounding == RateRounding::Up ? divisor - 1 : rate.scale)) / divisor;
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
