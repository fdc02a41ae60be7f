#version 330
// Shiny spheres for the far nodes: the near spheres' tracing and depth, with
// only the diffuse and glossy sky and the rim light (track 24); no sharp
// mirror, no strand target. Size mix is track 37, as for the near ones.
layout(location = 0) in vec4 position;
in vec2 texcoord;
uniform mat4 view;
uniform mat4 proj;
uniform float pSize;
uniform float tracks[64];
flat out vec3 centre;   // sphere centre, view space
flat out float radius;  // world units
flat out float weight;
flat out float cover;   // share of its drawn disc the sphere itself would cover
out vec3 ray;           // view-space point on the quad: the ray from the eye

// A weight below 2 is the first scene's lone sphere, written with unit
// weight; the strand's nodes weigh 20 to 100. The size mix blends from one
// size for all (0) to each node's own (1).
float sphereRadius(float w, float sizeMix) {
    if (w < 2.0) {
        return 12.0 * pSize;
    }
    return pSize * mix(10.0, w * 0.2, clamp(sizeMix, 0.0, 1.0));
}

void main() {
    weight = position.w;
    radius = sphereRadius(position.w, tracks[37]);
    centre = (view * vec4(position.xyz, 1.0)).xyz;
    // A strand node is never drawn under 1.5 pixels across (of a 720-line
    // frame): a smaller one would hit or miss pixel centres as it moves and
    // twinkle. It is drawn that wide, with the sky showing through the area
    // it lacks, so a far node is a steady faint point.
    cover = 1.0;
    if (position.w >= 2.0) {
        float pixel = max(-centre.z, 0.0) * 2.0 / (720.0 * proj[1][1]);
        float smallest = 0.75 * pixel;
        cover = (radius * radius) / max(radius * radius, smallest * smallest);
        radius = max(radius, smallest);
    }
    float d = length(centre);
    if (d < radius * 1.01) {
        // The eye is inside the sphere: nothing to draw from here.
        ray = vec3(0.0);
        gl_Position = vec4(2.0, 2.0, 2.0, 1.0);
        return;
    }
    // The quad stands across the view ray to the centre, at the sphere's
    // front, just large enough to hold its silhouette cone.
    vec3 n = centre / d;
    vec3 u = abs(n.y) < 0.99 ? normalize(cross(n, vec3(0.0, 1.0, 0.0)))
                             : normalize(cross(n, vec3(1.0, 0.0, 0.0)));
    vec3 v = cross(u, n);
    float front = max(d - radius, 1.01);
    float halfSize = front * radius / sqrt(d * d - radius * radius) * 1.04;
    vec2 c = texcoord * 2.0 - 1.0;
    ray = n * front + (u * c.x + v * c.y) * halfSize;
    gl_Position = proj * vec4(ray, 1.0);
}
//FRAGMENT
#version 330
uniform mat4 proj;
uniform mat4 tview;
uniform float time;
uniform samplerCube Texture0;  // glossy sky
uniform samplerCube Texture1;  // diffuse sky
uniform sampler2D Texture2;    // sky target
uniform sampler2D Texture3;
uniform samplerCube Texture4;
uniform float tracks[64];
out vec4 fragColor;
flat in vec3 centre;
flat in float radius;
flat in float weight;
flat in float cover;
in vec3 ray;

// Ray from the eye (the view-space origin) against the sphere: the view-space
// hit point, or false when the ray misses; "inner" is 1 at the centre of the
// silhouette and 0 at its edge.
bool hitSphere(out vec3 hit, out float inner) {
    vec3 rd = normalize(ray);
    float b = dot(rd, centre);
    float h = b * b - (dot(centre, centre) - radius * radius);
    if (h < 0.0) {
        return false;
    }
    hit = rd * (b - sqrt(h));
    inner = sqrt(h) / radius;
    return true;
}

// Window depth of a view-space point, for the depth range 0..1.
float depthOf(vec3 p, out vec4 clip) {
    clip = proj * vec4(p, 1.0);
    return clip.z / clip.w * 0.5 + 0.5;
}

void main() {
    vec3 hit;
    float inner;
    if (!hitSphere(hit, inner)) {
        discard;
    }
    vec4 clip;
    gl_FragDepth = depthOf(hit, clip);

    mat3 toWorld = mat3(tview);
    vec3 n = toWorld * ((hit - centre) / radius);
    vec3 v = toWorld * normalize(-hit);
    float facing = clamp(dot(n, v), 0.0, 1.0);
    float fresnel = 0.04 + 0.96 * pow(1.0 - facing, 5.0);
    vec3 diffuse = texture(Texture1, n).rgb;
    vec3 glossy = texture(Texture0, reflect(-v, n)).rgb;
    float pearl = smoothstep(45.0, 55.0, weight);
    // Far away a sphere is a few pixels: keep it bright, lit from above.
    float light = 0.6 + 0.4 * n.y;
    vec3 chrome = glossy * 1.4 + diffuse * 0.5;
    vec3 c = mix(chrome, vec3(0.95, 0.93, 1.0) * (diffuse * 1.6 + 0.25) + glossy * 0.5, pearl) * light
           + glossy * fresnel * 0.6;
    c += vec3(0.45, 0.8, 1.3) * pow(1.0 - facing, 3.0) * tracks[24];
    vec2 screen = clip.xy / clip.w * 0.5 + 0.5;
    vec3 behind = textureLod(Texture2, screen, 0.0).rgb;
    fragColor = vec4(mix(behind, c, cover), 1.0);
}
