#version 330
// Copy of a target's colour into the bound target: the background pass puts
// the sky under the 3D content. The quad's corners are already in clip space.
layout(location = 0) in vec4 position;
out vec2 uv;

void main() {
    uv = position.xy * 0.5 + 0.5;
    gl_Position = vec4(position.xy, 0.0, 1.0);
}
//FRAGMENT
#version 330
uniform sampler2D Texture0;
in vec2 uv;
out vec4 fragColor;

void main() {
    // Level 0 only: render targets allocate mip levels but never refill them.
    fragColor = vec4(textureLod(Texture0, uv, 0.0).rgb, 1.0);
}
