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

// Page p (from 0) of an image that stacks pages of the frame's 16:9 shape.
vec4 pageOf(sampler2D image, float p, vec2 at) {
    vec2 size = vec2(textureSize(image, 0));
    float pages = max(1.0, floor(size.y / (size.x * 9.0 / 16.0) + 0.5));
    return texture(image, vec2(at.x, (clamp(p, 0.0, pages - 1.0) + at.y) / pages));
}

void main() {
    float page = clamp(tracks[49], 0.0, 1.0);
    vec4 first = pageOf(Texture0, 0.0, uv);
    vec4 second = pageOf(Texture0, 1.0, uv);
    float title = clamp(tracks[11], 0.0, 1.0);
    float closing = clamp(tracks[35], 0.0, 1.0);
    // Premultiplied, so a fading page's colour does not bleed into the other.
    vec4 under = vec4(first.rgb * first.a, first.a) * (1.0 - page)
               + vec4(second.rgb * second.a, second.a) * page;
    under *= title;
    vec4 last = texture(Texture1, uv);
    vec4 over = vec4(last.rgb * last.a, last.a) * closing;
    vec4 both = over + under * (1.0 - over.a);
    if (both.a <= 0.0) {
        discard;
    }
    fragColor = vec4(both.rgb / both.a, both.a);
}
