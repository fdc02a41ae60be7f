#version 330
// The logo: one quad standing in the world a fixed distance in front of the
// eye, facing it, in the lower part of the frame below the closing page's
// lettering; spheres nearer than the logo hide it. The amber lettering with
// its breathing glow and outline, a faint sky reflection, and a band of
// light from the line cross-section sweeping across the letters. Opacity is
// track 13: the pass hands over only the first 32 tracks, so the closing
// track cannot reach this program.
layout(location = 0) in vec4 position;  // as the batch was made: corner, quad index
in vec2 texcoord;                       // corner 0..1
uniform mat4 proj;
uniform mat4 tview;
uniform vec3 eyePos;
uniform float tracks[32];
uniform sampler2D Texture0;
out vec2 uv;
out vec3 worldPosition;
flat out vec3 facing;

const float distanceAhead = 300.0;  // world units
const float widthOfFrame = 0.5;     // share of the frame's width
const float heightOnFrame = -0.55;  // centre, -1 bottom .. 1 top of the frame

void main() {
    // The image stacks three bands of equal height: lettering, glow, outline.
    vec2 size = vec2(textureSize(Texture0, 0)) * vec2(1.0, 1.0 / 3.0);
    float halfWidth = widthOfFrame * distanceAhead / proj[0][0];
    float halfHeight = halfWidth * size.y / max(size.x, 1.0);
    // A batch quad keeps its index in z: later quads stand one band lower.
    float row = position.z * 2.2;
    vec2 c = texcoord * 2.0 - 1.0;
    vec3 onView = vec3(c.x * halfWidth,
                       heightOnFrame * distanceAhead / proj[1][1] + (c.y - row) * halfHeight,
                       -distanceAhead);
    mat3 toWorld = mat3(tview);
    worldPosition = eyePos + toWorld * onView;
    facing = toWorld * vec3(0.0, 0.0, 1.0);
    // Images are stored top row first.
    uv = vec2(texcoord.x, 1.0 - texcoord.y);
    gl_Position = proj * vec4(onView, 1.0);
    // The pass also runs for the closing page alone; then the quad leaves
    // the frame instead of shading transparent pixels.
    if (tracks[13] <= 0.0) {
        gl_Position = vec4(2.0, 2.0, 2.0, 1.0);
    }
}
//FRAGMENT
#version 330
uniform vec3 eyePos;
uniform float time;
uniform float tracks[32];
uniform sampler2D Texture0;    // logo
uniform samplerCube Texture1;  // diffuse sky
uniform sampler2D Texture2;    // line cross-section
in vec2 uv;
in vec3 worldPosition;
flat in vec3 facing;
out vec4 fragColor;

void main() {
    // Bands from the top: lettering, its glow, its outline.
    vec4 letters = texture(Texture0, vec2(uv.x, uv.y / 3.0));
    vec4 glow = texture(Texture0, vec2(uv.x, (uv.y + 1.0) / 3.0));
    vec4 outline = texture(Texture0, vec2(uv.x, (uv.y + 2.0) / 3.0));
    float pulse = 0.6 + 0.4 * sin(time * 1.7);
    vec3 lit = letters.rgb * letters.a + glow.rgb * glow.a * 0.5 * pulse + outline.rgb * outline.a * 0.8;
    float cover = clamp(letters.a + glow.a * 0.5 * pulse + outline.a * 0.8, 0.0, 1.0);
    vec4 logo = vec4(lit / max(cover, 1e-4), cover);
    float opacity = clamp(tracks[13], 0.0, 1.0);
    float alpha = logo.a * opacity;
    // Transparent texels would still write depth.
    if (alpha < 0.01) {
        discard;
    }
    vec3 toEye = normalize(eyePos - worldPosition);
    vec3 sky = texture(Texture1, reflect(-toEye, facing)).rgb;
    float sweep = fract(time * 0.15) * 3.0 - 1.0;
    float across = (uv.x + 0.35 * uv.y - sweep) * 2.5 + 0.5;
    float band = across > 0.0 && across < 1.0 ? texture(Texture2, vec2(0.5, across)).a : 0.0;
    // Kept below the tone curve's shoulder so the amber stays amber; only
    // the sweeping band goes over and blooms.
    vec3 c = logo.rgb * 0.8 + sky * 0.12 + vec3(1.2, 0.95, 0.7) * band * letters.a * 1.6;
    fragColor = vec4(c, alpha);
}
