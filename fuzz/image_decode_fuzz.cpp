// Fuzzes the image decoding that start-up runs on every texture and cube face
// file: the HDR structure check in front of stb_image and the size check in
// front of its other decoders. Whatever the bytes, the decode must return.
// scripts/fuzz seeds it with the production's small sky faces and sprites.
#include <cstdint>
#include <vector>

#include "assets/texture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<unsigned char> bytes(data, data + size);
    imageBytesDecode(bytes, false);
    imageBytesDecode(bytes, true);
    return 0;
}
