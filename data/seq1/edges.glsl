#version 330
// The second scene's wire spheres: the shell around the origin and the
// spheres on the rim nodes. The dome mesh in line mode at "pos2", radius
// "size_mul" x 100 (the shell's track gives its radius in hundreds). Lines
// fade where the sphere faces the eye ("exponent"), and rim spheres glow
// more the closer they sit to the shell, whose radius is "edges".
layout(location = 0) in vec4 position;
in vec3 normal;
uniform mat4 viewproj;
uniform vec3 eyePos;
uniform vec3 pos2;
uniform float size_mul;
uniform float edges;
out vec3 worldNormal;
out vec3 worldPosition;
out float nearFade;

void main() {
    float radius = size_mul * 100.0;
    worldPosition = pos2 + position.xyz * radius;
    worldNormal = normal;
    gl_Position = viewproj * vec4(worldPosition, 1.0);
    // A rim sphere next to the eye would cover the frame with a dense mesh
    // of lines (and cost as much): it fades out from 8 radii away and is
    // not drawn inside 4. The shell itself, which holds the eye, always is.
    bool shell = abs(radius - edges) < 1.0;
    float fromEye = length(eyePos - pos2);
    nearFade = shell ? 1.0 : smoothstep(4.0 * radius, 8.0 * radius, fromEye);
    if (nearFade <= 0.0) {
        gl_Position = vec4(2.0, 2.0, 2.0, 1.0);
    }
}
//FRAGMENT
#version 330
uniform vec3 eyePos;
uniform vec3 pos2;
uniform float exponent;
uniform float a;
uniform float edges;
uniform samplerCube Texture0;
in vec3 worldNormal;
in vec3 worldPosition;
in float nearFade;
out vec4 fragColor;

void main() {
    vec3 n = normalize(worldNormal);
    vec3 toEye = normalize(eyePos - worldPosition);
    float edge = pow(1.0 - abs(dot(n, toEye)), max(exponent, 0.5));
    float nearShell = edges > 0.0 ? clamp(length(pos2) / edges, 0.0, 1.0) : 0.0;
    vec3 sky = texture(Texture0, n).rgb;
    vec3 cold = vec3(0.45, 0.8, 1.2);
    vec3 c = (cold * (0.1 + 1.5 * edge) + sky * 0.12) * (0.6 + 0.6 * nearShell);
    fragColor = vec4(c, clamp(a, 0.0, 1.0) * nearFade);
}
