// The 64 sync tracks by name. Code indexes the track values with these
// (trackValues[track::shellRadius]); the timeline source and sync/TRACKS.md
// call each track by the snake-case spelling of the same name, which
// trackNames holds. What each one means is told in sync/TRACKS.md.
#pragma once

constexpr int trackCount = 64;

namespace track {
enum : int {
    cameraMode = 0,           // integer part: 1 orbit, 2 strand orbit, 3 node hops, else free
    camRadiusX = 1,           // units: orbit radius (modes 1-3) or eye x (free)
    camAngleY = 2,            // degrees about the vertical (modes 1-3) or eye y (free)
    camHeightZ = 3,           // units: eye height (modes 1-3) or eye z (free)
    targetX = 4,              // units: target, or offset from the strand point or node
    targetY = 5,              // units
    targetZ = 6,              // units
    fov = 7,                  // degrees, vertical field of view
    fade = 8,                 // 0 black .. 1 full
    beatPulse = 9,            // 0..1, 1 on each kick
    skyExponent = 10,         // sky, hub sphere and wire shell falloff, 1..4
    scene2Overlay = 11,       // 0..1, opacity of the second scene's page
    flash = 12,               // 0..0.15 lifts the exposure, up to 1 white
    logo = 13,                // 0..1, logo opacity
    scene1Overlay = 14,       // 0..3: page = floor(v / 2), opacity = v - 2 page
    nodeScale = 15,           // graph nodes at (1 + v) times their distance, 7..14
    nodeCount = 16,           // dust nodes drawn; -1 all
    twistAngle = 17,          // degrees each graph node turns about its axis
    twistRadius = 18,         // units: nodes nearer than this do not twist
    dustBrightness = 19,      // 0..1.5
    farCloudBrightness = 20,  // 0..1
    strandScroll = 21,        // units the rungs slide along the strand, wraps at 3400
    strandWave = 22,          // radians the rungs swing about the strand, 0..0.6
    strandSpread = 23,        // rung width factor, 1..4
    rimGlow = 24,             // 0..1
    nearDistance = 25,        // units: nodes within this of the eye are drawn in detail
    strandSoftness = 26,      // 0..1
    links = 27,               // links and halos drawn when not 0
    lineBrightness = 28,      // 0..1.5
    skyTint = 29,             // 0 deep indigo .. 1 teal
    rimRays = 30,             // ray brightness; rays drawn when not 0
    shellRadius = 31,         // hundreds of units, 1..40
    wireShell = 32,           // 0..1, shell opacity; shell and rim spheres drawn when not 0
    rimSpheres = 33,          // 0..1, rim sphere opacity; drawn when above 0
    explosionRadius = 34,     // units, 50..3000
    closing = 35,             // 0..1, closing page opacity
    explosion = 36,           // 0..2, dust explosion drawn when not 0
    sizeMix = 37,             // 0 one sphere size .. 1 each node's own
    crossThreshold = 38,      // units: longest link from one shell to the next
    innerThreshold = 39,      // units: longest link within a shell
    dashAlpha = 40,           // 0..1, opacity of the links to the strand
    explosionAngle = 41,      // radians
    bulge = 42,               // 0..1.5, swell of the rungs and the spiral
    bloom = 43,               // 0.3..1.5
    grain = 44,               // 0..0.6
    vignette = 45,            // 0..1
    chroma = 46,              // 0..1
    grade = 47,               // 0 cool .. 1 warm
    free48 = 48,              // 0..1, title scrim strength
    scene2OverlayPage = 49,   // 0 or 1
    free50 = 50,              // 0 top .. 1 bottom: the scrim band's centre
    free51 = 51,              // share of the frame height: the scrim band's half height
};
}  // namespace track

// The timeline's name of each track, in track order; 52 to 63 are free.
inline constexpr const char* trackNames[trackCount] = {
    "camera_mode", "cam_radius_x", "cam_angle_y", "cam_height_z",             // 0-3
    "target_x", "target_y", "target_z", "fov",                                // 4-7
    "fade", "beat_pulse", "sky_exponent", "scene2_overlay",                   // 8-11
    "flash", "logo", "scene1_overlay", "node_scale",                          // 12-15
    "node_count", "twist_angle", "twist_radius", "dust_brightness",           // 16-19
    "far_cloud_brightness", "strand_scroll", "strand_wave", "strand_spread",  // 20-23
    "rim_glow", "near_distance", "strand_softness", "links",                  // 24-27
    "line_brightness", "sky_tint", "rim_rays", "shell_radius",                // 28-31
    "wire_shell", "rim_spheres", "explosion_radius", "closing",               // 32-35
    "explosion", "size_mix", "cross_threshold", "inner_threshold",            // 36-39
    "dash_alpha", "explosion_angle", "bulge", "bloom",                        // 40-43
    "grain", "vignette", "chroma", "grade",                                   // 44-47
    "free_48", "scene2_overlay_page", "free_50", "free_51",                   // 48-51
    "free_52", "free_53", "free_54", "free_55",                               // 52-55
    "free_56", "free_57", "free_58", "free_59",                               // 56-59
    "free_60", "free_61", "free_62", "free_63",                               // 60-63
};
