// Benchmark support: runs set-up code with stdout sent to /dev/null, so the
// lines that loading prints (meshes, textures, shaders, the window) do not
// break up the benchmark table.
#pragma once

#include <cstdio>

template <class Make>
void quietly(Make make)
{
    fflush(stdout);
    FILE* sink = fopen("/dev/null", "w");
    FILE* saved = stdout;
    if (sink) stdout = sink;
    make();
    stdout = saved;
    if (sink) fclose(sink);
}
