// Fuzzes the shader file split and the compile-log reader: the input is a
// shader file's text, also read as a driver's compile log.
#include <cstdint>
#include <string>

#include "assets/shader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string vertex, fragment;
    splitShaderSource(text, vertex, fragment);
    // Every line of the file lands in one of the two stages.
    if (vertex.size() + fragment.size() < text.size() / 2) __builtin_trap();
    shaderLogErrors(text, "data/seq1/x.glsl", 1);
    shaderLogErrors(text, "data/seq1/x.glsl", 1 << 30);
    return 0;
}
