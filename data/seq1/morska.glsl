#version 330
// First scene's text overlay: title and credits from txttt.png, alpha
// blended over the tone-mapped frame. The image holds its pages stacked from
// the top, each with the frame's 16:9 shape.
//
// Track 14 carries page and opacity together: page = floor(v / 2) and
// opacity = v - 2 x page, so 0 .. 1 fades the title in and 2 .. 3 the
// credits; 0 hides the overlay.
layout(location = 0) in vec4 position;
uniform int flip;
out vec2 uv;

void main() {
    uv = position.xy * 0.5 + 0.5;
    // Images are stored top row first; flip puts the top at the top.
    if (flip != 0) {
        uv.y = 1.0 - uv.y;
    }
    gl_Position = vec4(position.xy, 0.0, 1.0);
}
//FRAGMENT
#version 330
uniform float tracks[64];
uniform sampler2D Texture0;
in vec2 uv;
out vec4 fragColor;

void main() {
    float v = max(tracks[14], 0.0);
    float page = floor(v * 0.5);
    float opacity = clamp(v - 2.0 * page, 0.0, 1.0);
    vec2 size = vec2(textureSize(Texture0, 0));
    float pages = max(1.0, floor(size.y / (size.x * 9.0 / 16.0) + 0.5));
    if (page >= pages || opacity <= 0.0) {
        discard;
    }
    vec2 at = vec2(uv.x, (page + uv.y) / pages);
    vec4 text = texture(Texture0, at);
    fragColor = vec4(text.rgb, text.a * opacity);
}
