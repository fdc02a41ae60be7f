#version 330
// The sky: the dome mesh (a unit sphere) turned with the view but not moved
// with the eye, so it sits at infinity, pushed to the far plane. Its colour
// is the glossy night sky with the diffuse map lifting the haze near the
// horizon; track 29 tints it towards teal, "exponent" shapes the haze band,
// and the beat (track 9) breathes in its brightest parts.
layout(location = 0) in vec4 position;
uniform mat4 proj;
uniform mat3 nview;
out vec3 direction;

void main() {
    direction = position.xyz;
    vec4 clip = proj * vec4(nview * position.xyz * 10.0, 1.0);
    // Just inside the far plane, whatever the sky's distance.
    gl_Position = vec4(clip.xy, clip.w * 0.99999, clip.w);
}
//FRAGMENT
#version 330
uniform float exponent;
uniform float tracks[32];
uniform samplerCube Texture0;  // glossy sky
uniform samplerCube Texture1;  // diffuse sky
in vec3 direction;
out vec4 fragColor;

void main() {
    vec3 d = normalize(direction);
    vec3 glossy = texture(Texture0, d).rgb;
    vec3 diffuse = texture(Texture1, d).rgb;
    // The maps' horizon glow is warm and the brightest thing in the sky; the
    // night keeps it a dimmer teal haze, with amber left only in a thin seam
    // at its very core, so warm light stays an accent.
    float light = dot(glossy, vec3(0.2126, 0.7152, 0.0722));
    float glow = smoothstep(0.04, 0.3, light);
    // Unit-luminance teal, its brightness compressed so the core stays soft.
    vec3 haze = vec3(0.51, 1.1, 1.46) * light / (1.0 + 2.0 * light);
    vec3 seam = vec3(1.0, 0.55, 0.2) * smoothstep(1.2, 2.6, light) * 0.35;
    glossy = mix(glossy, haze, glow) + seam;
    float band = pow(1.0 - abs(d.y), max(exponent, 1.0) * 3.0);
    // The glossy map carries the sky; the diffuse one only adds a cool haze
    // along the horizon.
    vec3 c = glossy * 0.7 + diffuse * band * vec3(0.1, 0.2, 0.25);
    vec3 tint = mix(vec3(0.9, 0.85, 1.15), vec3(0.75, 1.05, 1.1), clamp(tracks[29], 0.0, 1.0));
    c *= tint;
    // Soft shoulder: the horizon glow stays a glow instead of filling the
    // frame, while the dark sky keeps its colour.
    c *= 1.0 / (1.0 + 0.5 * dot(c, vec3(0.2126, 0.7152, 0.0722)));
    c += max(glossy - 1.0, 0.0) * tracks[9] * 0.3;
    fragColor = vec4(c, 1.0);
}
