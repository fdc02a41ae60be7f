#include "encode.h"

#include <algorithm>
#include <lame/lame.h>

namespace {

constexpr int chunkFrames = 1152 * 64;

}  // namespace

bool encodeMp3(const StereoBuffer& buffer, std::vector<unsigned char>& bytes) {
    bytes.clear();
    lame_global_flags* lame = lame_init();
    if (!lame) return false;
    lame_set_in_samplerate(lame, static_cast<int>(sampleRate));
    lame_set_out_samplerate(lame, static_cast<int>(sampleRate));
    lame_set_num_channels(lame, 2);
    lame_set_mode(lame, JOINT_STEREO);
    lame_set_VBR(lame, vbr_off);
    lame_set_brate(lame, mp3Bitrate);
    lame_set_quality(lame, 5);
    // The info frame carries encoder delay and padding for gapless decoding.
    lame_set_bWriteVbrTag(lame, 1);
    if (lame_init_params(lame) < 0) {
        lame_close(lame);
        return false;
    }
    const int64_t frames = stereoFrames(buffer);
    std::vector<unsigned char> chunk(static_cast<size_t>(chunkFrames * 5 / 4 + 7200));
    bool ok = true;
    for (int64_t at = 0; at < frames && ok; at += chunkFrames) {
        int count = static_cast<int>(std::min<int64_t>(chunkFrames, frames - at));
        int written = lame_encode_buffer_ieee_float(lame, &buffer.left[at], &buffer.right[at], count,
                                                    chunk.data(), static_cast<int>(chunk.size()));
        if (written < 0) ok = false;
        else bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + written);
    }
    if (ok) {
        int written = lame_encode_flush(lame, chunk.data(), static_cast<int>(chunk.size()));
        if (written < 0) ok = false;
        else bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + written);
    }
    if (ok) {
        // LAME reserved the first frame for the tag; fill it in now that the
        // lengths are known.
        size_t tagSize = lame_get_lametag_frame(lame, chunk.data(), chunk.size());
        if (tagSize > chunk.size() || tagSize > bytes.size()) ok = false;
        else std::copy(chunk.begin(), chunk.begin() + static_cast<long>(tagSize), bytes.begin());
    }
    lame_close(lame);
    if (!ok) bytes.clear();
    return ok;
}
