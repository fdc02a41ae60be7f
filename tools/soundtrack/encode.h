// MP3 encoding of the finished master with libmp3lame: constant bit rate,
// fixed settings and an encoder-delay tag, so the same samples always give the
// same bytes and gapless decoders hand back sample 0 at time 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "synth.h"

constexpr int mp3Bitrate = 256;  // kbit/s

// Encodes 44.1 kHz stereo into MP3 bytes; false (and `bytes` empty) when the
// encoder refuses its settings or the input.
bool encodeMp3(const StereoBuffer& buffer, std::vector<unsigned char>& bytes);
