#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

extern "C" {
#include <libavformat/avformat.h>
}

namespace pelvano {

struct InputCloser {
    void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};
using Input = std::unique_ptr<AVFormatContext, InputCloser>;

struct PacketFreer {
    void operator()(AVPacket* pkt) const { av_packet_free(&pkt); }
};
using Packet = std::unique_ptr<AVPacket, PacketFreer>;

// Opens the regular file `path` with the demuxer `format` and its
// `options` (the header is read, nothing else), or throws Error(`error`).
Input OpenInput(const std::string& path, const char* format, const char* error,
                std::initializer_list<std::pair<const char*, const char*>> options = {});

AVStream* FirstVideoStream(AVFormatContext* ctx);

}  // namespace pelvano
