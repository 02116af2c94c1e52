#include "output/video/media_keyframes.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <optional>

extern "C" {
#include <libavutil/rational.h>
}

#include "base/error.h"
#include "output/video/libav_input.h"

namespace pelvano {

namespace {

// Frame i of a constant-rate stream starts origin + i * per / unit ticks
// after the stream's zero: per = tb.den * rate.den, unit = tb.num * rate.num,
// kept as integers so that 30000/1001 in a 1/1000 time base stays exact.
struct FrameGrid {
    int64_t origin = 0;
    __int128 per = 1;
    __int128 unit = 1;

    // Within one tick of frame i.
    bool holds(int64_t ts, int64_t i) const
    {
        const __int128 off = (__int128{ts} - origin) * unit - __int128{i} * per;
        return off <= unit && off >= -unit;
    }
    // The nearest frame position of ts (half a frame rounds up).
    int64_t position(int64_t ts) const
    {
        const __int128 scaled = (__int128{ts} - origin) * unit * 2 + per;
        const __int128 twice = per * 2;
        __int128 q = scaled / twice;
        if (scaled % twice != 0 && scaled < 0)
            --q;
        return q > INT64_MAX ? INT64_MAX : q < INT64_MIN ? INT64_MIN : static_cast<int64_t>(q);
    }
};

constexpr __int128 kMaxSpan = __int128{1} << 62;

FrameGrid GridOf(int64_t origin, AVRational tb, AVRational rate)
{
    return {origin, __int128{tb.den} * rate.den, __int128{tb.num} * rate.num};
}

bool Usable(AVRational r)
{
    return r.num > 0 && r.den > 0;
}

// Every timestamp of `sorted` (all frames, ascending) on the grid of `rate`
// from the first one.
bool EvenlySpaced(const std::vector<int64_t>& sorted, AVRational tb, AVRational rate)
{
    const FrameGrid grid = GridOf(sorted.front(), tb, rate);
    for (size_t i = 0; i < sorted.size(); ++i)
        if (!grid.holds(sorted[i], static_cast<int64_t>(i)))
            return false;
    return true;
}

// The rate whose grid every frame lies on: the container's declared rate,
// else the common rates near the measured one, else the measured rate
// itself. Nothing when the timestamps are not evenly spaced.
std::optional<AVRational> ConstantRate(const std::vector<int64_t>& sorted, AVRational tb, AVRational declared)
{
    if (sorted.size() < 2)
        return Usable(declared) ? std::optional(declared) : std::nullopt;
    // Beyond 2^62 ticks no sane stream reaches; the grid's arithmetic stays
    // within 128 bits below it.
    const __int128 wide = __int128{sorted.back()} - sorted.front();
    if (wide <= 0 || wide > kMaxSpan)
        return std::nullopt;
    const auto span = static_cast<int64_t>(wide);
    std::vector<AVRational> candidates;
    if (Usable(declared))
        candidates.push_back(declared);
    const long double measured =
        static_cast<long double>(sorted.size() - 1) * tb.den / (static_cast<long double>(span) * tb.num);
    for (const int den : {1, 1001}) {
        const long double num = std::round(measured * den);
        if (num > 0 && num < INT_MAX)
            candidates.push_back({static_cast<int>(num), den});
    }
    AVRational exact{};
    if (span <= INT64_MAX / tb.num && sorted.size() - 1 <= static_cast<size_t>(INT64_MAX / tb.den) &&
        av_reduce(&exact.num, &exact.den, static_cast<int64_t>(sorted.size() - 1) * tb.den, span * tb.num,
                  INT_MAX) &&
        Usable(exact))
        candidates.push_back(exact);
    for (const AVRational rate : candidates)
        if (EvenlySpaced(sorted, tb, rate))
            return rate;
    return std::nullopt;
}

AviRate RateOf(AVRational rate)
{
    return {static_cast<uint32_t>(rate.num), static_cast<uint32_t>(rate.den)};
}

int64_t TimestampOf(const AVPacket& pkt)
{
    return pkt.pts != AV_NOPTS_VALUE ? pkt.pts : pkt.dts;
}

// Video packets read in file order, without decoding.
struct PacketPass {
    std::vector<int64_t> times;  // every frame's presentation time
    std::vector<int64_t> keys;   // key frames' presentation times
};

void OnlyVideo(AVFormatContext* ctx, AVStream* video, AVDiscard level)
{
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        ctx->streams[i]->discard = ctx->streams[i] == video ? level : AVDISCARD_ALL;
}

// Reads on until `stop` (given each frame's time and whether it is a key
// frame) says so or the file ends; a read error ends the
// pass as a truncated file ends. Frames cut short come flagged corrupt and
// are no key frames to snap to; frames an edit list drops don't count.
template <typename Stop>
void ReadPackets(AVFormatContext* ctx, AVStream* video, PacketPass& pass, Stop stop)
{
    Packet pkt(av_packet_alloc());
    if (!pkt)
        throw Error(kMediaOpenError);
    while (av_read_frame(ctx, pkt.get()) >= 0) {
        const bool mine = pkt->stream_index == video->index && !(pkt->flags & AV_PKT_FLAG_DISCARD);
        const int64_t ts = TimestampOf(*pkt);
        const bool key = (pkt->flags & AV_PKT_FLAG_KEY) && !(pkt->flags & AV_PKT_FLAG_CORRUPT);
        av_packet_unref(pkt.get());
        if (!mine || ts == AV_NOPTS_VALUE)
            continue;
        pass.times.push_back(ts);
        if (key)
            pass.keys.push_back(ts);
        if (stop(ts, key))
            break;
    }
}

void SortUnique(std::vector<int64_t>& v)
{
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
}

// Positions from the first displayed frame; all key times must lie on the grid.
std::vector<int32_t> Positions(const std::vector<int64_t>& keyTimes, const FrameGrid& grid)
{
    std::vector<int32_t> keys;
    for (const int64_t ts : keyTimes) {
        const __int128 offset = __int128{ts} - grid.origin;
        if (offset > kMaxSpan || offset < -kMaxSpan)
            throw Error(kMediaVariableRateError);
        const int64_t pos = grid.position(ts);
        if (!grid.holds(ts, pos))
            throw Error(kMediaVariableRateError);
        if (pos >= 0 && pos <= INT32_MAX)
            keys.push_back(static_cast<int32_t>(pos));
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    return keys;
}

MediaKeyFrames FromPass(PacketPass& pass, AVStream* video)
{
    if (pass.times.empty())
        return {{}, RateOf(Usable(video->avg_frame_rate) ? video->avg_frame_rate : AVRational{0, 1})};
    std::sort(pass.times.begin(), pass.times.end());
    const std::optional<AVRational> rate = ConstantRate(pass.times, video->time_base, video->avg_frame_rate);
    if (!rate)
        throw Error(kMediaVariableRateError);
    SortUnique(pass.keys);
    return {Positions(pass.keys, GridOf(pass.times.front(), video->time_base, *rate)), RateOf(*rate)};
}

// Stretches of frames spread over the rest of the file: the Cues hold key
// frames only, and a rate that changes after the first seconds (25 fps,
// then 50 fps with every key frame still on the 25 fps grid) shows only in
// the frames between them. Each stretch is about two seconds read from a cue
// point on, without decoding; its frames must follow each other on the grid.
// The last frames of a stretch may still be missing, reordered behind
// packets not read, so they are not held to it.
void CheckStretches(AVFormatContext* ctx, AVStream* video, const std::vector<int64_t>& cues,
                    const FrameGrid& grid, AVRational rate)
{
    constexpr size_t kStretches = 12;
    constexpr size_t kReordered = 8;
    const size_t frames = std::clamp<size_t>(2 * static_cast<size_t>(av_q2d(rate)), 24, 240);
    for (size_t k = 1; k <= kStretches && cues.size() > 4; ++k) {
        const int64_t from = cues[3 + (cues.size() - 4) * k / kStretches];
        if (av_seek_frame(ctx, video->index, from, AVSEEK_FLAG_BACKWARD) < 0)
            throw Error(kMediaVariableRateError);
        PacketPass stretch;
        ReadPackets(ctx, video, stretch, [&](int64_t, bool) { return stretch.times.size() >= frames; });
        std::vector<int64_t>& times = stretch.times;
        std::sort(times.begin(), times.end());
        times.erase(times.begin(), std::lower_bound(times.begin(), times.end(), from));
        if (times.size() <= kReordered)
            continue;
        const int64_t first = grid.position(times.front());
        for (size_t i = 0; i + kReordered < times.size(); ++i) {
            if (!grid.holds(times[i], first + static_cast<int64_t>(i)))
                throw Error(kMediaVariableRateError);
        }
    }
}

// Matroska: the Cues are read on the first seek (a seek to the first cue
// point reads nothing else). They are used when the
// packets up to the fourth cue point hold no key frame they miss (muxers
// index every video key frame, or only some, and the first stretch tells
// which); those packets also show that the frames are evenly spaced, and
// stretches across the rest of the file that they stay so.
MediaKeyFrames ReadMatroska(const std::string& path)
{
    std::vector<int64_t> cues;
    AVRational declared{};
    {
        Input input = OpenInput(path, "matroska", kMediaOpenError);
        AVStream* video = FirstVideoStream(input.get());
        if (!video)
            throw Error(kMediaNoVideoError);
        // With everything discarded, a file without Cues, where the demuxer
        // falls back to reading, gains no index entries from its packets.
        OnlyVideo(input.get(), nullptr, AVDISCARD_ALL);
        av_seek_frame(input.get(), video->index, 0, AVSEEK_FLAG_BACKWARD);
        const int count = avformat_index_get_entries_count(video);
        for (int i = 0; i < count; ++i) {
            const AVIndexEntry* e = avformat_index_get_entry(video, i);
            if (e && (e->flags & AVINDEX_KEYFRAME))
                cues.push_back(e->timestamp);
        }
        SortUnique(cues);
        declared = video->avg_frame_rate;
    }

    // Afresh from the start: the seek left the reading position undefined.
    Input input = OpenInput(path, "matroska", kMediaOpenError);
    AVStream* video = FirstVideoStream(input.get());
    if (!video)
        throw Error(kMediaNoVideoError);
    video->avg_frame_rate = Usable(video->avg_frame_rate) ? video->avg_frame_rate : declared;
    OnlyVideo(input.get(), video, AVDISCARD_DEFAULT);
    PacketPass pass;
    if (cues.size() < 3) {
        ReadPackets(input.get(), video, pass, [](int64_t, bool) { return false; });
        return FromPass(pass, video);
    }

    const size_t last = std::min<size_t>(3, cues.size() - 1);
    ReadPackets(input.get(), video, pass, [&](int64_t ts, bool key) { return key && ts >= cues[last]; });
    const bool complete = std::all_of(pass.keys.begin(), pass.keys.end(), [&](int64_t key) {
        return std::binary_search(cues.begin(), cues.end(), key);
    });
    if (!complete) {
        ReadPackets(input.get(), video, pass, [](int64_t, bool) { return false; });
        return FromPass(pass, video);
    }

    // Frames shown before cue point `last - 1` have all been read (later
    // ones may still be missing, reordered behind the last key packet).
    std::vector<int64_t> sample;
    for (const int64_t ts : pass.times)
        if (ts < cues[last - 1])
            sample.push_back(ts);
    std::sort(sample.begin(), sample.end());
    if (sample.empty())
        sample.push_back(cues.front());
    const std::optional<AVRational> rate = ConstantRate(sample, video->time_base, video->avg_frame_rate);
    if (!rate)
        throw Error(kMediaVariableRateError);
    const FrameGrid grid = GridOf(sample.front(), video->time_base, *rate);
    CheckStretches(input.get(), video, cues, grid, *rate);
    return {Positions(cues, grid), RateOf(*rate)};
}

// --- MP4 composition offsets -------------------------------------------------
//
// libavformat gives the samples' decode times and sync flags in the index
// but their presentation times only to a reader of every sample, and with
// AVDISCARD_NONKEY the offsets slip (FFmpeg 5.1 advances them only for the
// samples it returns). So the offsets are taken from the ctts box of the
// first video track, found by walking the boxes down to it.

class BoxReader {
public:
    explicit BoxReader(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {}
    ~BoxReader()
    {
        if (file_)
            std::fclose(file_);
    }
    BoxReader(const BoxReader&) = delete;
    BoxReader& operator=(const BoxReader&) = delete;

    bool ok() const { return file_ != nullptr; }

    bool read(int64_t at, void* to, size_t n)
    {
        return fseeko(file_, at, SEEK_SET) == 0 && std::fread(to, 1, n, file_) == n;
    }
    bool u32(int64_t at, uint32_t& v)
    {
        unsigned char b[4];
        if (!read(at, b, 4))
            return false;
        v = uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
        return true;
    }

    // The payload [begin, end) of the first box of `type` in [from, to).
    bool find(int64_t from, int64_t to, const char* type, int64_t& begin, int64_t& end)
    {
        for (int64_t at = from; at + 8 <= to;) {
            uint32_t size32 = 0;
            char name[4];
            if (!u32(at, size32) || !read(at + 4, name, 4))
                return false;
            int64_t size = size32, header = 8;
            if (size32 == 1) {
                uint32_t hi = 0, lo = 0;
                if (!u32(at + 8, hi) || !u32(at + 12, lo))
                    return false;
                size = static_cast<int64_t>(uint64_t{hi} << 32 | lo);
                header = 16;
            } else if (size32 == 0) {
                size = to - at;
            }
            if (size < header || size > to - at)
                return false;
            if (std::memcmp(name, type, 4) == 0) {
                begin = at + header;
                end = at + size;
                return true;
            }
            at += size;
        }
        return false;
    }

    // Walks down a path of box types.
    bool path(int64_t from, int64_t to, std::initializer_list<const char*> types, int64_t& begin,
              int64_t& end)
    {
        for (const char* type : types) {
            if (!find(from, to, type, begin, end))
                return false;
            from = begin;
            to = end;
        }
        return true;
    }

private:
    std::FILE* file_;
};

// One composition offset per sample of the first video track, in decode
// order: zeros for a track without ctts. Nothing when the boxes can't be
// read or don't hold `samples` samples.
std::optional<std::vector<int64_t>> CompositionOffsets(const std::string& path, size_t samples)
{
    BoxReader boxes(path);
    if (!boxes.ok())
        return std::nullopt;
    std::error_code ec;
    const int64_t fileSize = static_cast<int64_t>(std::filesystem::file_size(path, ec));
    int64_t moovBegin = 0, moovEnd = 0;
    if (ec || !boxes.find(0, fileSize, "moov", moovBegin, moovEnd))
        return std::nullopt;
    for (int64_t at = moovBegin;;) {
        int64_t trakBegin = 0, trakEnd = 0, b = 0, e = 0;
        if (!boxes.find(at, moovEnd, "trak", trakBegin, trakEnd))
            return std::nullopt;
        at = trakEnd;
        char handler[4];
        if (!boxes.path(trakBegin, trakEnd, {"mdia", "hdlr"}, b, e) || e - b < 12 ||
            !boxes.read(b + 8, handler, 4) || std::memcmp(handler, "vide", 4) != 0)
            continue;
        std::vector<int64_t> offsets;
        offsets.reserve(samples);
        if (!boxes.path(trakBegin, trakEnd, {"mdia", "minf", "stbl", "ctts"}, b, e)) {
            offsets.assign(samples, 0);
            return offsets;
        }
        uint32_t entries = 0;
        if (!boxes.u32(b + 4, entries) || int64_t{entries} * 8 > e - b - 8)
            return std::nullopt;
        std::vector<unsigned char> table(size_t{entries} * 8);
        if (!table.empty() && !boxes.read(b + 8, table.data(), table.size()))
            return std::nullopt;
        for (uint32_t i = 0; i < entries; ++i) {
            const unsigned char* p = &table[size_t{i} * 8];
            const uint32_t count = uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
            // Signed in version 1, and read so by every player in version 0.
            const auto offset = static_cast<int32_t>(uint32_t{p[4]} << 24 | uint32_t{p[5]} << 16 |
                                                     uint32_t{p[6]} << 8 | p[7]);
            if (count > samples - offsets.size())
                return std::nullopt;
            offsets.insert(offsets.end(), count, offset);
        }
        if (offsets.size() != samples)
            return std::nullopt;
        return offsets;
    }
}

// MP4/MOV: the demuxer's index holds every sample in decode order (stts)
// with the sync samples (stss) flagged; the presentation times add the ctts
// offsets. The edit list is left aside: it moves every frame alike, and the
// frames are numbered from the first one shown.
MediaKeyFrames ReadMp4(const std::string& path)
{
    Input input = OpenInput(path, "mov", kMediaOpenError, {{"ignore_editlist", "1"}});
    AVStream* video = FirstVideoStream(input.get());
    if (!video)
        throw Error(kMediaNoVideoError);

    const int count = avformat_index_get_entries_count(video);
    std::optional<std::vector<int64_t>> offsets =
        count > 0 ? CompositionOffsets(path, static_cast<size_t>(count)) : std::nullopt;
    if (!offsets) {
        // Fragmented, or a sample table the demuxer read otherwise: the
        // samples' times are known only by reading them.
        OnlyVideo(input.get(), video, AVDISCARD_DEFAULT);
        PacketPass pass;
        ReadPackets(input.get(), video, pass, [](int64_t, bool) { return false; });
        return FromPass(pass, video);
    }
    std::vector<int64_t> decodeTimes, keyTimes;
    decodeTimes.reserve(count);
    for (int i = 0; i < count; ++i) {
        const AVIndexEntry* e = avformat_index_get_entry(video, i);
        if (!e)
            throw Error(kMediaOpenError);
        // No stream gets near; the offset is added safely below it.
        if (e->timestamp > INT64_MAX / 2 || e->timestamp < INT64_MIN / 2)
            throw Error(kMediaVariableRateError);
        decodeTimes.push_back(e->timestamp);
        if (e->flags & AVINDEX_KEYFRAME)
            keyTimes.push_back(e->timestamp + (*offsets)[i]);
    }
    if (!std::is_sorted(decodeTimes.begin(), decodeTimes.end()))
        throw Error(kMediaVariableRateError);
    const std::optional<AVRational> rate = ConstantRate(decodeTimes, video->time_base, video->avg_frame_rate);
    if (!rate)
        throw Error(kMediaVariableRateError);
    SortUnique(keyTimes);
    if (keyTimes.empty())
        return {{}, RateOf(*rate)};
    // Nothing is shown before the first key frame.
    return {Positions(keyTimes, GridOf(keyTimes.front(), video->time_base, *rate)), RateOf(*rate)};
}

std::string LowerExtension(const std::string& path)
{
    const size_t dot = path.find_last_of("./");
    if (dot == std::string::npos || path[dot] != '.')
        return "";
    std::string ext = path.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

}  // namespace

Container ContainerOf(const std::string& path)
{
    const std::string ext = LowerExtension(path);
    if (ext == "mkv" || ext == "webm")
        return Container::Matroska;
    if (ext == "mp4" || ext == "m4v" || ext == "mov")
        return Container::Mp4;
    return Container::Avi;
}

MediaKeyFrames ReadMediaKeyFrames(const std::string& path, Container container)
{
    return container == Container::Matroska ? ReadMatroska(path) : ReadMp4(path);
}

}  // namespace pelvano
