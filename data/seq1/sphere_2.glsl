#version 330
// Shiny spheres for the near nodes: a sprite per node, each pixel traced
// against the true sphere, with the sphere's own depth written. Big nodes
// are pearl (soft diffuse light, iridescent gloss), small ones chrome (a
// sharp mirror of the sky). The blurred strand target gives a soft contact
// shadow where neighbours crowd and a glow around the strand; track 24 adds
// a cold rim light.
layout(location = 0) in vec4 position;
in vec2 texcoord;
uniform mat4 view;
uniform mat4 proj;
uniform float pSize;
uniform float size_mix;
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
    radius = sphereRadius(position.w, size_mix);
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
uniform float tracks[32];
uniform float time;
uniform samplerCube Texture0;  // glossy sky
uniform samplerCube Texture1;  // diffuse sky
uniform sampler2D Texture2;    // sky target
uniform sampler2D Texture3;    // strand target, blurred
uniform samplerCube Texture4;  // sharp sky
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
    vec2 screen = clip.xy / clip.w * 0.5 + 0.5;

    mat3 toWorld = mat3(tview);
    vec3 nView = (hit - centre) / radius;
    vec3 n = toWorld * nView;
    vec3 v = toWorld * normalize(-hit);
    float facing = clamp(dot(n, v), 0.0, 1.0);
    vec3 r = reflect(-v, n);
    float fresnel = 0.04 + 0.96 * pow(1.0 - facing, 5.0);

    vec3 diffuse = texture(Texture1, n).rgb;
    vec3 glossy = texture(Texture0, r).rgb;
    vec3 mirror = texture(Texture4, r).rgb;

    vec3 sheen = 0.75 + 0.25 * cos(6.2832 * (facing * 1.3 + vec3(0.0, 0.33, 0.67) + time * 0.02));
    vec3 pearl = vec3(0.92, 0.9, 0.95) * diffuse * 1.3
               + glossy * sheen * (0.3 + 0.7 * fresnel)
               + mirror * fresnel * 0.4;
    // Light from behind shows through the pearl's edge.
    pearl += textureLod(Texture2, screen + nView.xy * 0.03, 0.0).rgb * pow(1.0 - facing, 2.0) * 0.5;
    vec3 chrome = mirror * mix(vec3(0.72, 0.78, 0.88), vec3(1.0), fresnel) + glossy * 0.1;
    vec3 c = mix(chrome, pearl, smoothstep(45.0, 55.0, weight));
    if (weight < 2.0) {
        // The first scene's lone sphere is a few pixels across in front of
        // the bright haze: a mirror of the dark sky below would read as a
        // blot, so it is a lit pearl that glows at its heart.
        c = pearl + vec3(0.5, 0.65, 0.8) * (0.4 + 0.6 * facing);
    }

    vec3 rim = vec3(0.45, 0.8, 1.3) * pow(1.0 - facing, 3.0) * tracks[24];
    if (weight >= 2.0) {
        // Only the second scene renders the strand target.
        vec4 strand = textureLod(Texture3, screen, 0.0);
        c *= 1.0 - 0.45 * smoothstep(0.35, 1.0, strand.a);
        rim += strand.rgb * tracks[24] * 0.6;
    }
    vec3 behind = textureLod(Texture2, screen, 0.0).rgb;
    fragColor = vec4(mix(behind, c + rim, cover), 1.0);
}
