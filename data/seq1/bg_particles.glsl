#version 330
// The far cloud: a few hundred large soft sprites on a sphere far out, a
// slowly turning haze of bokeh behind everything, blended additively. Each
// quad carries its point in "position" (xyz, weight in w) and its corner in
// "texcoord". The colour comes from the sky in the point's direction, a few
// points turn amber; track 20 is the brightness.
layout(location = 0) in vec4 position;
in vec2 texcoord;
uniform mat4 view;
uniform mat4 proj;
uniform float pSize;
uniform float tracks[32];
uniform samplerCube Texture2;  // diffuse sky
out vec2 corner;
out vec3 colour;
out float softness;

void main() {
    corner = texcoord;
    vec4 centre = view * vec4(position.xyz, 1.0);
    float depth = -centre.z;
    float size = pSize * position.w * 60.0;
    float nearFade = smoothstep(size * 2.0, size * 6.0, depth);

    vec3 direction = normalize(position.xyz + vec3(1e-3));
    vec3 sky = textureLod(Texture2, direction, 1.0).rgb;
    vec3 tint = sky / max(dot(sky, vec3(0.333)), 1e-3);
    // One point in about seven is warm, picked by its weight.
    float warm = step(0.86, fract(position.w * 37.0));
    vec3 base = mix(mix(vec3(0.35, 0.55, 1.0), tint, 0.5), vec3(1.0, 0.6, 0.25), warm);
    colour = base * tracks[20] * 0.35 * nearFade;
    softness = fract(position.w * 13.0);

    centre.xy += (texcoord * 2.0 - 1.0) * size;
    gl_Position = proj * centre;
}
//FRAGMENT
#version 330
uniform sampler2D Texture0;  // sharp sprite
uniform sampler2D Texture1;  // soft sprite
in vec2 corner;
in vec3 colour;
in float softness;
out vec4 fragColor;

// The sprite's coverage, whether the image keeps its shape in alpha or in
// grey on black.
float shapeOf(vec4 c) {
    return c.a * max(c.r, max(c.g, c.b));
}

void main() {
    float shape = mix(shapeOf(texture(Texture0, corner)), shapeOf(texture(Texture1, corner)), 0.5 + 0.5 * softness);
    fragColor = vec4(colour, shape);
}
