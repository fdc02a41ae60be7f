#version 330
// Second scene: HDR scene target to the window, with the bloom of the two
// blurs. The horizontal half of the first blur (Texture1) adds a faint
// horizontal streak to the brightest highlights. Exposure and a filmic
// curve, vignette, film grain, colour grade, master fade and white flash.
// The output is linear light; the window's sRGB conversion encodes it.
//
// Tracks: 8 fade, 12 flash, 43 bloom, 44 grain, 45 vignette, 46 chromatic
// aberration, 47 grade (0 cool .. 1 warm), 48, 50, 51 the title scrim,
// 52 the kick's lift of the low tones.
layout(location = 0) in vec4 position;
out vec2 uv;

void main() {
    uv = position.xy * 0.5 + 0.5;
    gl_Position = vec4(position.xy, 0.0, 1.0);
}
//FRAGMENT
#version 330
uniform float tracks[64];
uniform float t;
uniform sampler2D Texture0;  // scene, HDR
uniform sampler2D Texture1;  // bright pass, blurred horizontally only
uniform sampler2D Texture2;  // bright pass, blurred
uniform sampler2D Texture3;  // bright pass, blurred twice
uniform sampler2D Texture4;  // vig.png
uniform sampler2D Texture5;  // noise.png
in vec2 uv;
out vec4 fragColor;

const float exposure = 0.9;

vec3 filmic(vec3 x) {
    // Rational fit of a filmic response: toe, straight part, soft shoulder.
    return clamp((x * (2.51 * x + 0.03)) / (x * (2.43 * x + 0.59) + 0.14), 0.0, 1.0);
}

float grain(vec2 pixel, float time) {
    // Difference of two noise texels: zero mean whatever the texture's
    // distribution, and a new pattern every 1/24 s.
    vec2 size = vec2(textureSize(Texture5, 0));
    float frame = floor(time * 24.0);
    vec2 jump = fract(vec2(sin(frame * 12.9898), sin(frame * 78.233)) * 43758.547) * size;
    float a = texture(Texture5, (pixel + jump) / size).r;
    float b = texture(Texture5, (pixel.yx + jump.yx + 17.0) / size).g;
    return a - b;
}

void main() {
    vec2 fromCentre = uv - 0.5;
    vec2 shift = fromCentre * tracks[46] * 0.012;
    vec3 hdr;
    hdr.r = textureLod(Texture0, uv + shift, 0.0).r;
    hdr.g = textureLod(Texture0, uv, 0.0).g;
    hdr.b = textureLod(Texture0, uv - shift, 0.0).b;

    // The bloom targets hold 8-bit light above the cut-off; scale it back up.
    vec3 bloom = textureLod(Texture2, uv, 0.0).rgb * 0.8
               + textureLod(Texture3, uv, 0.0).rgb * 1.2
               + textureLod(Texture1, uv, 0.0).rgb * 0.25;
    hdr += bloom * tracks[43] * 2.0;

    // The flash lifts the exposure first: a light one (a snare) brightens
    // what is lit and leaves the blacks black; only a strong one (an impact)
    // goes on to wash the frame towards white, below.
    float flash = clamp(tracks[12], 0.0, 1.0);
    vec3 c = filmic(hdr * exposure * (1.0 + 3.0 * flash));

    float warm = clamp(tracks[47], 0.0, 1.0);
    vec3 grade = mix(vec3(0.93, 1.0, 1.1), vec3(1.1, 1.0, 0.86), warm);
    c *= grade / dot(grade, vec3(0.2126, 0.7152, 0.0722));

    // A scrim behind the titles: a soft horizontal band (centre track 50,
    // 0 top .. 1 bottom; half height track 51) darkened by up to 75 %
    // (track 48), so lettering reads over a bright scene.
    float scrim = clamp(tracks[48], 0.0, 1.0);
    if (scrim > 0.0) {
        float across = abs((1.0 - uv.y) - tracks[50]) / max(tracks[51], 0.01);
        c *= 1.0 - 0.75 * scrim * (1.0 - smoothstep(0.7, 1.3, across));
    }

    // A kick lifts the low tones, the haze and the dim side of the strand,
    // by at most 0.03 of linear light: on screen the whole frame breathes
    // with the beat, yet no pixel changes by anywhere near a flash, and the
    // blacks stay black. Only the top of the pulse shows, so the lift jumps
    // on the kick itself, not on the row before that a late kick's pulse
    // rises from, and falls away within about 0.1 s.
    float kick = smoothstep(0.6, 1.0, tracks[52]);
    c += kick * 0.03 * smoothstep(0.004, 0.05, c) * (1.0 - smoothstep(0.15, 0.5, c));

    float vig = texture(Texture4, uv).r;
    c *= mix(1.0, vig, clamp(tracks[45], 0.0, 1.0));

    c += grain(gl_FragCoord.xy, t) * tracks[44] * 0.05 * (0.2 + sqrt(c));
    c = max(c, 0.0);

    c *= clamp(tracks[8], 0.0, 1.0);
    c = mix(c, vec3(1.0), smoothstep(0.35, 1.0, flash));
    fragColor = vec4(c, 1.0);
}
