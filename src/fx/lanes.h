// Four-lane single-precision arithmetic for the per-frame simulation loops.
// Each lane performs the IEEE single-precision operation it would on one
// float, so a loop written with these gives the same bits as the scalar
// formula, only four points at a time. Header-only; owns nothing.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

typedef float Float4 __attribute__((vector_size(16)));
typedef int32_t Mask4 __attribute__((vector_size(16)));

inline Float4 splat(float v) { return Float4{v, v, v, v}; }

// Four consecutive floats from any address.
inline Float4 load4(const float* p) {
    Float4 v;
    std::memcpy(&v, p, sizeof(v));
    return v;
}

inline void store4(float* p, Float4 v) { std::memcpy(p, &v, sizeof(v)); }

inline Float4 sqrt4(Float4 v) {
#if defined(__SSE__)
    return _mm_sqrt_ps(v);
#else
    return Float4{std::sqrt(v[0]), std::sqrt(v[1]), std::sqrt(v[2]), std::sqrt(v[3])};
#endif
}

// std::max(v, 0) per lane: a NaN or a negative zero passes through as it does there.
inline Float4 max0(Float4 v) {
    const Float4 zero = splat(0.0f);
    return (v < zero) ? zero : v;
}
