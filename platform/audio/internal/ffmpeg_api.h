#ifndef VOREL_PLATFORM_AUDIO_INTERNAL_FFMPEG_API_H_
#define VOREL_PLATFORM_AUDIO_INTERNAL_FFMPEG_API_H_

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}

#include "platform/late_library.h"

namespace vorel::platform::audio {

// Every FFmpeg function the library calls. FFmpeg (and the encoders, renderers and network
// libraries it depends on) is loaded with the first stream, not with libbass.so: a player
// that idles in the tray should not map what it only needs to decode.
// clang-format off
#define VOREL_FFMPEG_FUNCTIONS(X)                                                            \
  X(av_channel_layout_compare) X(av_channel_layout_copy) X(av_channel_layout_default)       \
  X(av_channel_layout_uninit) X(av_dict_free) X(av_dict_get) X(av_dict_set) X(av_dict_set_int) \
  X(av_find_best_stream) X(av_frame_alloc) X(av_frame_free) X(av_frame_unref) X(av_free)    \
  X(av_freep) X(av_log_set_level) X(av_malloc) X(av_packet_alloc) X(av_packet_free)         \
  X(av_packet_unref) X(av_read_frame) X(av_rescale) X(av_rescale_q) X(av_seek_frame)        \
  X(av_url_split) X(avio_flush) X(avio_write)                                               \
  X(avcodec_alloc_context3) X(avcodec_flush_buffers) X(avcodec_free_context)                \
  X(avcodec_open2) X(avcodec_parameters_to_context) X(avcodec_receive_frame)                \
  X(avcodec_send_packet) X(avformat_alloc_context) X(avformat_close_input)                  \
  X(avformat_find_stream_info) X(avformat_network_init) X(avformat_open_input)              \
  X(avformat_seek_file) X(avio_alloc_context) X(avio_closep) X(avio_context_free)           \
  X(avio_open2) X(avio_read_partial) X(avio_size) X(swr_alloc_set_opts2) X(swr_convert)     \
  X(swr_free) X(swr_get_out_samples) X(swr_init)
// clang-format on

// The functions under their own names, so that a call reads `av.avformat_open_input(...)`.
struct FfmpegApi {
  VOREL_FFMPEG_FUNCTIONS(VOREL_LATE_SLOT)
};

// Loads the FFmpeg libraries of the major versions this library was built against, once per
// process (thread-safe), and silences FFmpeg's own log. Returns null when a library or a
// function is missing; the first failure is reported once on standard error.
const FfmpegApi* LoadFfmpeg();

// The loaded table. Only valid after LoadFfmpeg() returned non-null (every decoder exists
// only then).
const FfmpegApi& Ffmpeg();

}  // namespace vorel::platform::audio

#endif  // VOREL_PLATFORM_AUDIO_INTERNAL_FFMPEG_API_H_
