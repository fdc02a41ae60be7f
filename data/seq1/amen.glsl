#version 330
// Halo rays from the centre of the first scene's cloud to its hub nodes:
// warm amber, fading in towards the hub, with a pulse running outward with
// "grow". Depth is written, so faint texels are dropped. Track 28 is the
// brightness.
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
// its half width is "linesize" x 0.16 of the frame's half height. The ends
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
    position.xy += across * local.y * linesize * 0.16 * position.w;
    gl_Position = position;
}
//FRAGMENT
#version 330
uniform float grow;
uniform float t;
uniform float tracks[64];
uniform float max_radius;
uniform sampler2D Texture0;  // cross-section
in vec2 local;
flat in float segmentLength;
flat in float key;
flat in float startDistance;
out vec4 fragColor;

void main() {
    vec3 light = texture(Texture0, vec2(0.5, local.y * 0.5 + 0.5)).rgb;
    float towardsHub = smoothstep(0.0, 1.0, local.x);
    float pulse = pow(1.0 - abs(fract(grow * 2.0) - local.x), 12.0);
    float strength = (0.25 * towardsHub + 1.5 * pulse) * tracks[28] * (1.0 + 0.3 * tracks[9]);
    // Pale gold rather than full amber: the rays converge by the dozen at
    // the cloud's heart, and warm light is to stay an accent there.
    vec3 c = light * vec3(1.1, 0.85, 0.55) * strength * 0.7;
    if (max(c.r, max(c.g, c.b)) < 0.01) {
        discard;
    }
    fragColor = vec4(c, 1.0);
}
