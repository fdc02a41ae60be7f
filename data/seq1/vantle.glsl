#version 330
// Second scene's full-screen overlays, alpha blended over the tone-mapped
// frame. fs01.png stacks two pages (strand title, greetings), fs02.png holds
// the closing page. Track 11 shows fs01 at that opacity, track 49 choosing
// its page (0 the first, 1 the second, crossfading between); track 35 shows
// the closing page over it.
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
uniform sampler2D Texture1;
in vec2 uv;
out vec4 fragColor;

// Page p (from 0) of an image that stacks pages of the frame's 16:9 shape,
// premultiplied, with a soft shadow (the coverage a little down and to the
// right, over five taps) under it so white lettering stays legible over the
// bright strand.
vec4 pageOf(sampler2D image, float p, vec2 at) {
    vec2 size = vec2(textureSize(image, 0));
    float pages = max(1.0, floor(size.y / (size.x * 9.0 / 16.0) + 0.5));
    vec2 onPage = vec2(at.x, (clamp(p, 0.0, pages - 1.0) + at.y) / pages);
    vec4 text = texture(image, onPage);
    vec2 spread = vec2(0.0026, 0.0046 / pages);
    vec2 centre = onPage + vec2(0.0008, 0.0014 / pages);
    float shadow = texture(image, centre).a * 2.0;
    shadow += texture(image, centre + spread * vec2(1.0, 1.0)).a;
    shadow += texture(image, centre + spread * vec2(-1.0, 1.0)).a;
    shadow += texture(image, centre + spread * vec2(1.0, -1.0)).a;
    shadow += texture(image, centre + spread * vec2(-1.0, -1.0)).a;
    shadow *= 0.85 / 6.0;
    return vec4(text.rgb * text.a, text.a + shadow * (1.0 - text.a));
}

void main() {
    float title = clamp(tracks[11], 0.0, 1.0);
    float closing = clamp(tracks[35], 0.0, 1.0);
    if (title <= 0.0 && closing <= 0.0) {
        discard;
    }
    float page = clamp(tracks[49], 0.0, 1.0);
    vec4 under = vec4(0.0);
    if (title > 0.0) {
        // Crossfading premultiplied keeps one page's colour out of the other.
        under = mix(pageOf(Texture0, 0.0, uv), pageOf(Texture0, 1.0, uv), page) * title;
    }
    vec4 over = closing > 0.0 ? pageOf(Texture1, 0.0, uv) * closing : vec4(0.0);
    vec4 both = over + under * (1.0 - over.a);
    if (both.a <= 0.0) {
        discard;
    }
    fragColor = vec4(both.rgb / both.a, both.a);
}
