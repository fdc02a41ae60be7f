#version 330
// One direction of the separable Gaussian blur. "taps" weights are read
// around the centre tap, "tx"/"ty" apart along "dir". A positive "cut_off"
// turns the pass into a bright pass: only light above it survives, so the
// bloom starts from the highlights and not from the whole picture.
layout(location = 0) in vec4 position;
uniform int flip;
out vec2 uv;

void main() {
    uv = position.xy * 0.5 + 0.5;
    if (flip != 0) {
        uv.y = 1.0 - uv.y;
    }
    gl_Position = vec4(position.xy, 0.0, 1.0);
}
//FRAGMENT
#version 330
uniform sampler2D Texture0;
uniform float cut_off;
uniform float tx;
uniform float ty;
uniform int taps;
uniform vec2 dir;
uniform float weights[64];
in vec2 uv;
out vec4 fragColor;

vec4 brightPass(vec4 c) {
    float luma = dot(c.rgb, vec3(0.2126, 0.7152, 0.0722));
    // Scale the colour rather than subtract per channel, so hues survive.
    float keep = max(luma - cut_off, 0.0) / max(luma, 1e-4);
    return vec4(c.rgb * keep, c.a);
}

void main() {
    // 63 taps is the most the weight array can describe.
    int count = clamp(taps, 1, 63);
    float centre = float(count / 2);
    vec2 stepUv = dir * vec2(tx, ty);
    vec4 sum = vec4(0.0);
    if (cut_off > 0.0) {
        for (int i = 0; i < count; ++i) {
            vec4 c = textureLod(Texture0, uv + stepUv * (float(i) - centre), 0.0);
            sum += brightPass(c) * weights[i];
        }
    } else {
        for (int i = 0; i < count; ++i) {
            sum += textureLod(Texture0, uv + stepUv * (float(i) - centre), 0.0) * weights[i];
        }
    }
    fragColor = sum;
}
