#include "video_file.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr int audioBitRate = 192000;  // bits per second
constexpr int channels = 2;

std::string describe(const char* what, int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return std::string(what) + ": " + text;
}

// The frame rate as a fraction the container keeps exactly (30000/1001 and
// the like), from the number given on the command line.
AVRational frameRateOf(double fps)
{
    return av_d2q(fps, 1001000);
}

// Sends one frame (null to drain) and writes every packet the encoder has ready.
bool encode(VideoFile& file, AVCodecContext* codec, AVStream* stream, AVFrame* frame,
            std::string& error)
{
    int result = avcodec_send_frame(codec, frame);
    if (result < 0) {
        error = describe("cannot encode", result);
        return false;
    }
    for (;;) {
        result = avcodec_receive_packet(codec, file.packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
        if (result < 0) {
            error = describe("cannot encode", result);
            return false;
        }
        av_packet_rescale_ts(file.packet, codec->time_base, stream->time_base);
        file.packet->stream_index = stream->index;
        result = av_interleaved_write_frame(file.format, file.packet);
        if (result < 0) {
            error = describe("cannot write", result);
            return false;
        }
    }
}

// Encodes the tune's audio up to sample frame `until` (relative to the
// first), in whole encoder frames; the last, shorter one only when `last`.
bool encodeAudioUntil(VideoFile& file, int64_t until, bool last, std::string& error)
{
    if (!file.audio) return true;
    const int frameSize = file.audio->frame_size;
    while (file.audioWritten < until) {
        const int64_t left = until - file.audioWritten;
        if (left < frameSize && !last) return true;
        const int count = int(std::min<int64_t>(left, frameSize));

        // Past either end of the tune the soundtrack is silent.
        int16_t source[2 * 4096] = {};
        const int64_t start = file.firstSample + file.audioWritten;
        for (int i = 0; i < count; ++i) {
            const int64_t at = start + i;
            if (at < 0 || at >= file.tuneFrames) continue;
            source[2 * i] = file.tune[2 * at];
            source[2 * i + 1] = file.tune[2 * at + 1];
        }
        int result = av_frame_make_writable(file.sound);
        if (result < 0) {
            error = describe("cannot prepare audio", result);
            return false;
        }
        file.sound->nb_samples = count;
        const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(source)};
        result = swr_convert(file.resampler, file.sound->data, count, in, count);
        if (result != count) {
            error = describe("cannot convert audio", result < 0 ? result : AVERROR_BUG);
            return false;
        }
        file.sound->pts = file.audioWritten;
        if (!encode(file, file.audio, file.audioStream, file.sound, error)) return false;
        file.audioWritten += count;
    }
    return true;
}

// Sample frames of audio that play with the first n video frames.
int64_t audioFramesFor(const VideoFile& file, long n)
{
    return audioSampleAt(file.settings.from + double(n) / file.settings.fps) - file.firstSample;
}

bool openVideoEncoder(VideoFile& file, std::string& error)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_H264);
    if (!codec) {
        error = "this FFmpeg has no H.264 encoder";
        return false;
    }
    file.video = avcodec_alloc_context3(codec);
    AVCodecContext* c = file.video;
    const AVRational rate = frameRateOf(file.settings.fps);
    c->width = file.settings.width;
    c->height = file.settings.height;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = av_inv_q(rate);
    c->framerate = rate;
    c->gop_size = std::max(1, int(std::lround(file.settings.fps * 2.0)));  // a key frame every 2 s
    // The frames are sRGB pictures; say how they were turned into YUV.
    c->color_range = AVCOL_RANGE_MPEG;
    c->colorspace = AVCOL_SPC_BT709;
    c->color_primaries = AVCOL_PRI_BT709;
    c->color_trc = AVCOL_TRC_BT709;
    if (file.format->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set(c->priv_data, "preset", "medium", 0);
    av_opt_set_int(c->priv_data, "crf", file.settings.crf, 0);
    int result = avcodec_open2(c, codec, nullptr);
    if (result < 0) {
        error = describe("cannot open the H.264 encoder", result);
        return false;
    }
    file.videoStream = avformat_new_stream(file.format, nullptr);
    file.videoStream->time_base = c->time_base;
    file.videoStream->avg_frame_rate = rate;
    avcodec_parameters_from_context(file.videoStream->codecpar, c);

    file.picture = av_frame_alloc();
    file.picture->format = c->pix_fmt;
    file.picture->width = c->width;
    file.picture->height = c->height;
    result = av_frame_get_buffer(file.picture, 0);
    if (result < 0) {
        error = describe("cannot allocate a video frame", result);
        return false;
    }
    file.scaler = sws_getContext(c->width, c->height, AV_PIX_FMT_RGBA, c->width, c->height,
                                 AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!file.scaler) {
        error = "cannot convert RGBA to yuv420p at this size";
        return false;
    }
    // BT.709 coefficients, limited range, to match the stream's colour tags.
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(file.scaler, coefficients, 1, coefficients, 0, 0, 1 << 16, 1 << 16);
    return true;
}

bool openAudioEncoder(VideoFile& file, std::string& error)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec) {
        error = "this FFmpeg has no AAC encoder";
        return false;
    }
    file.audio = avcodec_alloc_context3(codec);
    AVCodecContext* c = file.audio;
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->sample_rate = videoAudioRate;
    c->bit_rate = audioBitRate;
    c->time_base = AVRational{1, videoAudioRate};
    av_channel_layout_default(&c->ch_layout, channels);
    if (file.format->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int result = avcodec_open2(c, codec, nullptr);
    if (result < 0) {
        error = describe("cannot open the AAC encoder", result);
        return false;
    }
    file.audioStream = avformat_new_stream(file.format, nullptr);
    file.audioStream->time_base = c->time_base;
    avcodec_parameters_from_context(file.audioStream->codecpar, c);

    file.sound = av_frame_alloc();
    file.sound->format = c->sample_fmt;
    file.sound->sample_rate = c->sample_rate;
    file.sound->nb_samples = c->frame_size;
    av_channel_layout_copy(&file.sound->ch_layout, &c->ch_layout);
    result = av_frame_get_buffer(file.sound, 0);
    if (result < 0 || c->frame_size > 4096) {
        error = describe("cannot allocate an audio frame", result < 0 ? result : AVERROR_BUG);
        return false;
    }

    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    result = swr_alloc_set_opts2(&file.resampler, &c->ch_layout, c->sample_fmt, c->sample_rate,
                                 &stereo, AV_SAMPLE_FMT_S16, videoAudioRate, 0, nullptr);
    if (result >= 0) result = swr_init(file.resampler);
    if (result < 0) {
        error = describe("cannot convert the soundtrack", result);
        return false;
    }
    return true;
}

} // namespace

int64_t audioSampleAt(double seconds)
{
    return int64_t(std::llround(seconds * videoAudioRate));
}

bool openVideoFile(VideoFile& file, const std::string& path, const VideoSettings& settings,
                   const std::vector<int16_t>& tune, std::string& error)
{
    // The encoders' own statistics and notes would bury the progress line.
    av_log_set_level(AV_LOG_ERROR);
    file = VideoFile{};
    file.settings = settings;
    file.path = path;
    file.tune = tune.data();
    file.tuneFrames = int64_t(tune.size()) / channels;
    file.firstSample = audioSampleAt(settings.from);

    // Always a local file, whatever the name looks like ("file:x", "http:x"):
    // the muxer reopens it by this name to move the index to the front.
    const std::string url = "file:" + path;
    int result = avformat_alloc_output_context2(&file.format, nullptr, "mp4", url.c_str());
    if (result < 0 || !file.format) {
        error = describe("cannot set up an MP4 file", result);
        discardVideoFile(file);
        return false;
    }
    file.packet = av_packet_alloc();
    if (!openVideoEncoder(file, error) || (!settings.run && !openAudioEncoder(file, error))) {
        discardVideoFile(file);
        return false;
    }
    result = avio_open(&file.format->pb, url.c_str(), AVIO_FLAG_WRITE);
    if (result < 0) {
        error = describe(("cannot write " + path).c_str(), result);
        discardVideoFile(file);
        return false;
    }
    // The index goes to the front when the file is finished, so that a
    // player can start before it has read the whole file.
    AVDictionary* options = nullptr;
    if (!settings.run) av_dict_set(&options, "movflags", "+faststart", 0);
    result = avformat_write_header(file.format, &options);
    av_dict_free(&options);
    if (result < 0) {
        error = describe(("cannot write " + path).c_str(), result);
        discardVideoFile(file);
        return false;
    }
    file.headerWritten = true;
    return true;
}

bool writeVideoFrame(VideoFile& file, const unsigned char* rgbaBottomUp, std::string& error)
{
    const int width = file.settings.width;
    const int height = file.settings.height;
    int result = av_frame_make_writable(file.picture);
    if (result < 0) {
        error = describe("cannot prepare a video frame", result);
        return false;
    }
    // GL's rows run bottom-up: start at the last row and step backwards.
    const int stride = width * 4;
    const uint8_t* source[1] = {rgbaBottomUp + size_t(stride) * size_t(height - 1)};
    const int strides[1] = {-stride};
    sws_scale(file.scaler, source, strides, 0, height, file.picture->data, file.picture->linesize);
    file.picture->pts = file.framesWritten;
    if (!encode(file, file.video, file.videoStream, file.picture, error)) return false;
    ++file.framesWritten;
    return encodeAudioUntil(file, audioFramesFor(file, file.framesWritten), false, error);
}

bool finishVideoFile(VideoFile& file, std::string& error)
{
    bool ok = encodeAudioUntil(file, audioFramesFor(file, file.framesWritten), true, error);
    if (ok) ok = encode(file, file.video, file.videoStream, nullptr, error);
    if (ok && file.audio) ok = encode(file, file.audio, file.audioStream, nullptr, error);
    if (ok) {
        const int result = av_write_trailer(file.format);
        if (result < 0) {
            error = describe(("cannot finish " + file.path).c_str(), result);
            ok = false;
        }
    }
    if (ok && file.format->pb) {
        const int result = avio_closep(&file.format->pb);
        if (result < 0) {
            error = describe(("cannot close " + file.path).c_str(), result);
            ok = false;
        }
    }
    discardVideoFile(file);
    return ok;
}

long appendVideoFile(VideoFile& file, const std::string& path, std::string& error)
{
    AVFormatContext* input = nullptr;
    AVBSFContext* unpack = nullptr;
    const std::string url = "file:" + path;
    int result = avformat_open_input(&input, url.c_str(), nullptr, nullptr);
    if (result >= 0) result = avformat_find_stream_info(input, nullptr);
    if (result >= 0 && input->nb_streams != 1) result = AVERROR_INVALIDDATA;
    // MP4 keeps H.264 units behind length prefixes; this file's muxer takes
    // them as the encoder hands them over, behind start codes.
    const AVBitStreamFilter* filter = av_bsf_get_by_name("h264_mp4toannexb");
    if (result >= 0) result = filter ? av_bsf_alloc(filter, &unpack) : AVERROR_BSF_NOT_FOUND;
    if (result >= 0) result = avcodec_parameters_copy(unpack->par_in, input->streams[0]->codecpar);
    if (result >= 0) {
        unpack->time_base_in = input->streams[0]->time_base;
        result = av_bsf_init(unpack);
    }
    // The copied packets decode with this file's stream headers only if the
    // encoder that made them wrote the same ones.
    const AVCodecParameters* own = file.videoStream->codecpar;
    const AVCodecParameters* theirs = result >= 0 ? unpack->par_out : nullptr;
    const bool same = theirs && theirs->codec_id == own->codec_id && theirs->width == own->width &&
                      theirs->height == own->height && theirs->extradata_size == own->extradata_size &&
                      std::equal(own->extradata, own->extradata + own->extradata_size, theirs->extradata);
    if (!same) {
        error = result < 0 ? describe(("cannot read " + path).c_str(), result)
                           : path + " does not hold video encoded as this file's";
        av_bsf_free(&unpack);
        avformat_close_input(&input);
        return -1;
    }
    const AVRational from = input->streams[0]->time_base;
    const AVRational to = file.videoStream->time_base;
    const int64_t shift = av_rescale_q(file.framesWritten, file.video->time_base, to);
    long appended = 0;
    bool ok = true, ended = false;
    while (ok) {
        if (!ended) {
            result = av_read_frame(input, file.packet);
            ended = result == AVERROR_EOF;
            if (result < 0 && !ended) {
                error = describe(("cannot read " + path).c_str(), result);
                ok = false;
                break;
            }
            result = av_bsf_send_packet(unpack, ended ? nullptr : file.packet);
        }
        if (result >= 0) result = av_bsf_receive_packet(unpack, file.packet);
        if (result == AVERROR(EAGAIN) && !ended) continue;
        if (result == AVERROR_EOF || result == AVERROR(EAGAIN)) break;
        if (result < 0) {
            error = describe(("cannot copy the frames of " + path).c_str(), result);
            ok = false;
            break;
        }
        av_packet_rescale_ts(file.packet, from, to);
        file.packet->pts += shift;
        file.packet->dts += shift;
        // The first packets of a run are decoded before the frame they follow
        // is shown, so their times overlap the last ones of the run before:
        // they go one tick after it, still before they are shown.
        if (file.packet->dts <= file.lastDts) file.packet->dts = file.lastDts + 1;
        file.lastDts = file.packet->dts;
        file.packet->stream_index = file.videoStream->index;
        file.packet->pos = -1;
        result = av_interleaved_write_frame(file.format, file.packet);
        if (result < 0) {
            error = describe("cannot write", result);
            ok = false;
        }
        ++appended;
        if (ok) ok = encodeAudioUntil(file, audioFramesFor(file, file.framesWritten + appended), false, error);
    }
    av_bsf_free(&unpack);
    avformat_close_input(&input);
    if (!ok) return -1;
    file.framesWritten += appended;
    return appended;
}

void discardVideoFile(VideoFile& file)
{
    if (file.format && file.format->pb) avio_closep(&file.format->pb);
    avformat_free_context(file.format);
    avcodec_free_context(&file.video);
    avcodec_free_context(&file.audio);
    av_frame_free(&file.picture);
    av_frame_free(&file.sound);
    av_packet_free(&file.packet);
    sws_freeContext(file.scaler);
    swr_free(&file.resampler);
    file.format = nullptr;
    file.scaler = nullptr;
    file.headerWritten = false;
}
