#version 330
// Links between the first scene's nodes: thin cyan-white ribbons of light.
// Links inside a shell (even key in "texcoord2") use the solid cross-section,
// links crossing to the next shell out (odd key) the dashed one. Pulses of
// light run outward shell by shell with "grow"; links near the current
// threshold ("max_radius") fade, so new links grow in as it rises. Track 28
// is the brightness, the beat (9) lifts it.
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
uniform sampler2D Texture0;  // solid cross-section
uniform sampler2D Texture1;  // dashed cross-section
in vec2 local;
flat in float segmentLength;
flat in float key;
flat in float startDistance;
out vec4 fragColor;

void main() {
    float across = local.y * 0.5 + 0.5;
    bool crossing = mod(key, 2.0) > 0.5;
    float shell = floor(key * 0.5);
    vec3 light;
    if (crossing) {
        // The dashed image holds 8 dashes; repeat it every 40 world units so
        // dashes keep their length whatever the link's, and let them crawl.
        float along = fract(local.x * segmentLength / 40.0 - t * 0.1);
        light = texture(Texture1, vec2(along, across)).rgb;
    } else {
        light = texture(Texture0, vec2(0.5, across)).rgb;
    }
    float reach = max_radius > 0.0 ? 1.0 - smoothstep(0.85 * max_radius, max_radius, segmentLength) : 1.0;
    float wave = fract(grow * 3.0 - shell * 0.15 - local.x * 0.1);
    float pulse = 0.7 + 1.3 * pow(wave, 8.0);
    vec3 colour = crossing ? vec3(1.0, 0.95, 1.0) : vec3(0.85, 0.95, 1.1);
    float strength = tracks[28] * (1.0 + 0.4 * tracks[9]) * pulse * reach;
    fragColor = vec4(light * colour * strength * 2.2, 1.0);
}
