#version 330
// First scene's text overlay: title and credits from txttt.png, alpha
// blended over the tone-mapped frame with a soft shadow under the letters.
// The image holds its pages stacked from the top, each with the frame's
// 16:9 shape.
//
// Track 14 carries page and opacity together: page = floor(v / 2) and
// opacity = v - 2 x page, so 0 .. 1 fades the title in and 2 .. 3 the
// credits; 0 hides the overlay.
layout(location = 0) in vec4 position;
uniform int flip;
uniform float tracks[64];
out vec2 uv;

void main() {
    uv = position.xy * 0.5 + 0.5;
    // Images are stored top row first; flip puts the top at the top.
    if (flip != 0) {
        uv.y = 1.0 - uv.y;
    }
    gl_Position = vec4(position.xy, 0.0, 1.0);
    // The pass runs every frame of the first scene. While no page shows,
    // the quad collapses outside the frame, so not one pixel is shaded.
    float v = max(tracks[14], 0.0);
    if (v - 2.0 * floor(v * 0.5) <= 0.0) {
        gl_Position = vec4(2.0, 2.0, 2.0, 1.0);
    }
}
//FRAGMENT
#version 330
uniform float tracks[64];
uniform sampler2D Texture0;
in vec2 uv;
out vec4 fragColor;

// Alpha of a soft shadow under the text: the text's coverage a little down
// and to the right, spread over five taps. It keeps white lettering legible
// over bright dust and lines.
float shadowOf(vec2 at, float pages) {
    vec2 spread = vec2(0.0026, 0.0046 / pages);
    vec2 centre = at + vec2(0.0008, 0.0014 / pages);
    float sum = texture(Texture0, centre).a * 2.0;
    sum += texture(Texture0, centre + spread * vec2(1.0, 1.0)).a;
    sum += texture(Texture0, centre + spread * vec2(-1.0, 1.0)).a;
    sum += texture(Texture0, centre + spread * vec2(1.0, -1.0)).a;
    sum += texture(Texture0, centre + spread * vec2(-1.0, -1.0)).a;
    return sum / 6.0;
}

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
    float shadow = shadowOf(at, pages) * 0.85;
    // Text over its shadow, then the whole faded by the track.
    float alpha = text.a + shadow * (1.0 - text.a);
    vec3 colour = text.rgb * text.a / max(alpha, 1e-4);
    fragColor = vec4(colour, alpha * opacity);
}
