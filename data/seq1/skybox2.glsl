#version 330
// Small wire spheres on the hub nodes: the dome mesh, drawn in line mode at
// "pos2", radius "size_mul" x 100. Warm amber, fading towards the faces that
// look at the eye ("exponent" shapes the fade) so the outline reads as a
// sphere; "a" is the overall strength. Blended additively.
layout(location = 0) in vec4 position;
in vec3 normal;
uniform mat4 viewproj;
uniform vec3 pos2;
uniform float size_mul;
out vec3 worldNormal;
out vec3 worldPosition;

void main() {
    worldPosition = pos2 + position.xyz * size_mul * 100.0;
    worldNormal = normal;
    gl_Position = viewproj * vec4(worldPosition, 1.0);
}
//FRAGMENT
#version 330
uniform vec3 eyePos;
uniform float exponent;
uniform float a;
uniform samplerCube Texture0;
in vec3 worldNormal;
in vec3 worldPosition;
out vec4 fragColor;

void main() {
    vec3 n = normalize(worldNormal);
    vec3 toEye = normalize(eyePos - worldPosition);
    float edge = pow(1.0 - abs(dot(n, toEye)), max(exponent, 0.5));
    vec3 sky = texture(Texture0, n).rgb;
    vec3 amber = vec3(1.6, 0.85, 0.3);
    // Faint where the wires face the eye, so a small sphere's dense wires
    // read as an amber rim round a see-through middle, not a solid disc.
    vec3 c = amber * (0.04 + 1.0 * edge) + sky * 0.15;
    fragColor = vec4(c, clamp(a * 2.0, 0.0, 1.0));
}
