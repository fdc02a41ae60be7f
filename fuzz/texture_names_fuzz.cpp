// Fuzzes the texture naming rules: which file names are linear textures and
// which cube face a name stands for.
#include <cstdint>
#include <string>

#include "assets/texture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string name(reinterpret_cast<const char*>(data), size);
    isLinearTextureName(name);
    const int face = cubeFaceIndex(name);
    if (face < -1 || face > 5) __builtin_trap();
    // The face follows the name's last letter, whatever folder it is in.
    if (cubeFaceIndex("dir/" + name) != face && name.find('/') == std::string::npos &&
        name.find('.') == std::string::npos)
        __builtin_trap();
    return 0;
}
