#version 330
// Rim rays: from the origin out to the nodes on the rim of the second
// scene's shell. The ray is lit from the origin out to "max_radius", which
// grows with the music, with "texcoord2".x pulses of light along it that
// travel outward with time; track 30 is their brightness, 28 that of all
// lines. Half as wide as the other lines: there are hundreds of them.
// Depth is written, so faint texels are dropped.
layout(location = 0) in vec3 p0;
in vec3 p1;
in vec2 texcoord;   // corner: x along the segment, y across it
in vec2 texcoord2;
uniform mat4 viewproj;
uniform mat4 proj;
uniform float linesize;
out vec2 local;           // x: 0 at p0 .. 1 at p1; y: -1 .. 1 across
flat out float segmentLength;  // world units
flat out float key;
flat out float startDistance;  // of p0 from the origin, world units

// The segment as a ribbon facing the camera, of constant width on screen:
// its half width is "linesize" x 0.08 of the frame's half height. The ends
// are cut at the near plane first, so segments passing the eye stay whole.
void main() {
    key = texcoord2.x;
    startDistance = length(p0);
    segmentLength = length(p1 - p0);
    vec4 a = viewproj * vec4(p0, 1.0);
    vec4 b = viewproj * vec4(p1, 1.0);
    const float nearW = 1.0;
    if (a.w < nearW && b.w < nearW) {
        local = vec2(0.0);
        gl_Position = vec4(2.0, 2.0, 2.0, 1.0);
        return;
    }
    float from = 0.0;
    float to = 1.0;
    if (a.w < nearW) {
        float k = (nearW - a.w) / (b.w - a.w);
        a = mix(a, b, k);
        from = k;
    }
    if (b.w < nearW) {
        float k = (nearW - b.w) / (a.w - b.w);
        b = mix(b, a, k);
        to = 1.0 - k;
    }
    float aspect = proj[1][1] / proj[0][0];
    vec2 onScreen = (b.xy / b.w - a.xy / a.w) * vec2(aspect, 1.0);
    vec2 direction = length(onScreen) > 1e-6 ? normalize(onScreen) : vec2(1.0, 0.0);
    vec2 across = vec2(-direction.y, direction.x) / vec2(aspect, 1.0);
    vec4 position = mix(a, b, texcoord.x);
    local = vec2(mix(from, to, texcoord.x), texcoord.y * 2.0 - 1.0);
    position.xy += across * local.y * linesize * 0.08 * position.w;
    gl_Position = position;
}
//FRAGMENT
#version 330
uniform float grow;
uniform float t;
uniform float tracks[32];
uniform float max_radius;
uniform sampler2D Texture0;  // cross-section
in vec2 local;
flat in float segmentLength;
flat in float key;
flat in float startDistance;
out vec4 fragColor;

void main() {
    vec3 light = texture(Texture0, vec2(0.5, local.y * 0.5 + 0.5)).rgb;
    float fromOrigin = local.x * segmentLength;
    float lit = 1.0 - smoothstep(max_radius * 0.85, max_radius, fromOrigin);
    float pulses = max(key, 1.0);
    float pulse = pow(0.5 + 0.5 * sin(6.2832 * (local.x * pulses - t * 0.4)), 6.0);
    float strength = (0.12 + 0.6 * pulse) * lit * smoothstep(0.0, 0.15, local.x)
                   * tracks[28] * tracks[30] * (1.0 + 0.4 * tracks[9]);
    vec3 c = light * vec3(0.8, 0.95, 1.2) * strength;
    if (max(c.r, max(c.g, c.b)) < 0.01) {
        discard;
    }
    fragColor = vec4(c, 1.0);
}
