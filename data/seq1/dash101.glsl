#version 330
// Dashed links from every node of the second scene to its point on the
// strand. The dashes scroll towards the strand with "t"; "aa" is the overall
// strength and nodes farther from the origin than "max_radius" are not
// linked yet. Track 28 is the brightness.
layout(location = 0) in vec3 p0;
in vec3 p1;
in vec2 texcoord;   // corner: x along the segment, y across it
in vec2 texcoord2;
uniform mat4 viewproj;
uniform mat4 proj;
uniform float linesize;
uniform float aa;
uniform float max_radius;
out vec2 local;           // x: 0 at p0 .. 1 at p1; y: -1 .. 1 across
flat out float segmentLength;  // world units
flat out float key;
flat out float startDistance;  // of p0 from the origin, world units

// The segment as a ribbon facing the camera, of constant width on screen:
// its half width is "linesize" x 0.1 of the frame's half height. The ends
// are cut at the near plane first, so segments passing the eye stay whole.
void main() {
    key = texcoord2.x;
    startDistance = length(p0);
    segmentLength = length(p1 - p0);
    vec4 a = viewproj * vec4(p0, 1.0);
    vec4 b = viewproj * vec4(p1, 1.0);
    const float nearW = 1.0;
    // A link from a node beyond "max_radius", or with "aa" at 0, shows
    // nothing: all four corners leave the frame and no pixel is shaded.
    bool hidden = aa <= 0.0 || startDistance >= max_radius;
    if ((a.w < nearW && b.w < nearW) || hidden) {
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
    position.xy += across * local.y * linesize * 0.1 * position.w;
    gl_Position = position;
}
//FRAGMENT
#version 330
uniform float grow;
uniform float t;
uniform float tracks[32];
uniform float aa;
uniform float max_radius;
uniform sampler2D Texture0;  // cross-section
in vec2 local;
flat in float segmentLength;
flat in float key;
flat in float startDistance;
out vec4 fragColor;

void main() {
    vec3 light = texture(Texture0, vec2(0.5, local.y * 0.5 + 0.5)).rgb;
    float dash = step(0.45, fract(local.x * segmentLength / 30.0 - t * 0.8));
    float fadeEnds = smoothstep(0.0, 0.1, local.x) * smoothstep(1.0, 0.8, local.x);
    float reach = 1.0 - smoothstep(max_radius * 0.9, max_radius, startDistance);
    float strength = dash * fadeEnds * reach * clamp(aa, 0.0, 2.0) * tracks[28];
    fragColor = vec4(light * vec3(0.8, 0.95, 1.1) * strength, 1.0);
}
