#version 330
// Dust: the graph nodes as soft camera-facing sprites, blended additively.
// Each quad carries its node in "position" (xyz, weight in w) on all four
// corners and the corner in "texcoord". Nodes away from the focal distance
// (the eye's distance from the cloud's centre) grow and soften like bokeh;
// nodes never shrink below about a pixel, dimming instead. Colour: cold
// cyan-white tinted by the sky around each node; track 19 is the brightness,
// the beat (track 9) makes the cloud breathe.
layout(location = 0) in vec4 position;
in vec2 texcoord;
uniform mat4 view;
uniform mat4 proj;
uniform vec3 eyePos;
uniform float pSize;
uniform float time;
uniform float tracks[32];
uniform samplerCube Texture2;
out vec2 corner;
out vec3 colour;
out float focusBlur;

void main() {
    corner = texcoord;
    vec4 centre = view * vec4(position.xyz, 1.0);
    float depth = -centre.z;
    float focus = max(length(eyePos), 100.0);
    focusBlur = clamp(abs(depth - focus) / focus * 1.5, 0.0, 1.0);

    float beat = tracks[9];
    float size = pSize * position.w * 1.5 * (1.0 + 2.0 * focusBlur) * (1.0 + 0.2 * beat);
    // World size of 1.5 pixels of a 720-line frame at this depth.
    float minimum = 1.5 * max(depth, 0.0) * 2.0 / (720.0 * proj[1][1]);
    float shrink = size / max(size, minimum);
    size = max(size, minimum);
    // A node at the lens would cover the frame: fade it out first.
    float nearFade = smoothstep(size * 4.0, size * 12.0, depth);

    vec3 sky = textureLod(Texture2, normalize(position.xyz + vec3(1e-3)), 2.0).rgb;
    vec3 tint = sky / max(dot(sky, vec3(0.333)), 1e-3);
    vec3 base = mix(vec3(0.55, 0.8, 1.0), tint * 0.7, 0.35);
    float twinkle = 0.8 + 0.2 * sin(time * 2.3 + position.w * 57.0);
    colour = base * tracks[19] * twinkle * shrink * shrink * nearFade * (1.0 + 0.5 * beat)
           / (1.0 + 2.0 * focusBlur);

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

// The sprite's coverage, whether the image keeps its shape in alpha or in
// grey on black.
float shapeOf(vec4 c) {
    return c.a * max(c.r, max(c.g, c.b));
}

void main() {
    float shape = mix(shapeOf(texture(Texture0, corner)), shapeOf(texture(Texture1, corner)), focusBlur);
    fragColor = vec4(colour, shape);
}
