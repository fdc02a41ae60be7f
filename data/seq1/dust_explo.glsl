#version 330
// The spiral dust explosion around the strand: the graph nodes, placed by
// the scene on a widening spiral, drawn as hot sprites, amber at the core
// cooling to a dim blue at the edge of the spiral. Depth is tested and
// written, so only the sprite's body writes depth (faint texels are
// dropped). Tracks 36 and 19 set the strength, 34 is the spiral's base
// radius.
layout(location = 0) in vec4 position;
in vec2 texcoord;
uniform mat4 view;
uniform mat4 proj;
uniform float pSize;
uniform float time;
uniform float tracks[64];
uniform samplerCube Texture2;
out vec2 corner;
out vec3 colour;
out float focusBlur;

// The strand's centre line at height h (x and z), as the scene winds it.
vec2 strandPath(float h, float phase) {
    return vec2(600.0 * sin(h * 0.0045 * 0.33) + 300.0 * sin(h * 0.0105 * 0.33 + phase * 0.0252),
                600.0 * cos(h * 0.0045 * 0.33) + 300.0 * cos(h * 0.0095 * 0.33 + phase * 0.0241));
}

void main() {
    corner = texcoord;
    vec4 centre = view * vec4(position.xyz, 1.0);
    float depth = -centre.z;
    float size = pSize * position.w * 6.0;
    float minimum = 1.5 * max(depth, 0.0) * 2.0 / (720.0 * proj[1][1]);
    float shrink = size / max(size, minimum);
    size = max(size, minimum);
    float nearFade = smoothstep(size * 4.0, size * 12.0, depth);
    focusBlur = clamp(position.w, 0.0, 1.0);

    // Distance from the strand relative to the spiral's radius; the spiral
    // places its dust up to about 1.4 radii out.
    float spread = clamp(length(position.xz - strandPath(position.y, time))
                         / (1.4 * max(abs(tracks[34]), 1.0)), 0.0, 1.0);
    // The outer dust cools and fades, so the wide spiral reads as embers
    // thinning into the night rather than an even snowfall over the strand.
    vec3 hot = mix(vec3(1.8, 0.9, 0.35), vec3(0.35, 0.5, 0.9), smoothstep(0.0, 0.8, spread));
    vec3 sky = textureLod(Texture2, normalize(position.xyz + vec3(1e-3)), 2.0).rgb;
    float flicker = 0.75 + 0.25 * sin(time * 7.0 + position.w * 91.0);
    colour = (hot + sky * 0.2) * clamp(tracks[36], 0.0, 2.0) * tracks[19] * flicker * shrink * shrink * nearFade;

    centre.xy += (texcoord * 2.0 - 1.0) * size;
    gl_Position = proj * centre;
}
//FRAGMENT
#version 330
uniform sampler2D Texture0;  // sharp dot
uniform sampler2D Texture1;  // soft blob
in vec2 corner;
in vec3 colour;
in float focusBlur;
out vec4 fragColor;

float shapeOf(vec4 c) {
    return c.a * max(c.r, max(c.g, c.b));
}

void main() {
    float shape = mix(shapeOf(texture(Texture0, corner)), shapeOf(texture(Texture1, corner)), focusBlur);
    // Faint texels would write depth and hide the sprites behind them.
    if (shape < 0.04) {
        discard;
    }
    fragColor = vec4(colour, shape);
}
