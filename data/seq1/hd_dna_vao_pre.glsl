#version 330
// Strand pass, first draw: the near nodes' spheres into the small strand
// target's depth only, so the soft silhouettes drawn next are hidden behind
// nearer nodes.
layout(location = 0) in vec4 position;
in vec2 texcoord;
uniform mat4 view;
uniform mat4 proj;
uniform float pSize;
uniform float size_mix;
flat out vec3 centre;   // sphere centre, view space
flat out float radius;  // world units
flat out float weight;
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
    radius = sphereRadius(position.w, size_mix);
    centre = (view * vec4(position.xyz, 1.0)).xyz;
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
uniform float tracks[32];
uniform float time;
out vec4 fragColor;
flat in vec3 centre;
flat in float radius;
flat in float weight;
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
    fragColor = vec4(1.0);
}
