// The camera: eye, target and projection driven by the camera tracks (cameraMode to fov), and
// the six standard uniforms ("proj", "view", "viewproj", "eyePos", "nview",
// "tview") it sets on the current program. Plain value; the Demo owns one.
#pragma once

#include <cstdint>
#include <span>

#include <glm/glm.hpp>

// Degenerate input (a field of view outside (0, 180) degrees, an eye on its
// target, a view along the up vector, non-finite values) never replaces a
// matrix: the last good one stays, so no NaN reaches the GPU.
struct Camera {
    glm::vec3 up{0.0f, 1.0f, 0.0f};
    glm::vec3 eye{200.0f, 0.0f, 0.0f};   // world space
    glm::vec3 target{0.0f, 0.0f, 0.0f};  // the point looked at
    glm::mat4 projection{1.0f};          // perspective, column-major
    glm::mat4 view{1.0f};                // look-at, recomputed by applyCamera
    glm::vec3 viewEye{200.0f, 0.0f, 0.0f};  // the eye that view was made from
    uint32_t keptProjections = 0;  // degenerate projections refused so far
    uint32_t keptViews = 0;        // degenerate views refused so far
};

// Eye (200,0,0) towards the origin, 60 degree field of view, planes 1 and 100000.
void initCamera(Camera& camera);
// The camera tracks: cameraMode (1 = orbit), camRadiusX..camHeightZ the eye or
// (radius, degrees, height), targetX..targetZ the target, fov in degrees; far
// plane 50000.
void setCameraFromTracks(Camera& camera, std::span<const float> trackValues);
// Sets the perspective projection (fieldOfView in degrees) at the window's
// aspect ratio, unless it would be degenerate: then the last one stays.
void setCameraProjection(Camera& camera, float fieldOfView, float farPlane);
// Recomputes the view from eye, target and up, unless they are degenerate:
// then the last view (and its eye) stays. No GL.
void updateCameraView(Camera& camera);
// Updates the view and sets the standard uniforms present in the current program.
void applyCamera(Camera& camera);

// Perspective projection; fieldOfView in degrees.
glm::mat4 perspectiveProjection(float fieldOfView, float aspect, float nearPlane, float farPlane);
