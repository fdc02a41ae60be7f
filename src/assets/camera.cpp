#include "assets/camera.h"

#include <cmath>

#include <glm/gtc/matrix_transform.hpp>

#include "app/window.h"
#include "render/draw.h"
#include "sync/track_names.h"

namespace {

constexpr float trackNearPlane = 1.0f;  // units

bool isFinite(const glm::mat4& m)
{
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            if (!std::isfinite(m[c][r])) return false;
    return true;
}

bool isFinite(const glm::vec3& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

} // namespace

void initCamera(Camera& camera)
{
    camera.up = glm::vec3(0.0f, 1.0f, 0.0f);
    camera.eye = glm::vec3(200.0f, 0.0f, 0.0f);
    camera.target = glm::vec3(0.0f, 0.0f, 0.0f);
    camera.view = glm::mat4(1.0f);
    camera.viewEye = camera.eye;
    camera.projection = perspectiveProjection(60.0f, aspectRatio, 1.0f, 100000.0f);
}

void setCameraFromTracks(Camera& camera, std::span<const float> trackValues)
{
    if (trackValues.size() < 8) return;
    const float* v = trackValues.data();
    setCameraProjection(camera, v[track::fov], 50000.0f);
    camera.target = glm::vec3(v[track::targetX], v[track::targetY], v[track::targetZ]);
    // Mode 1 is any value whose integer part is 1; the comparison does what
    // an int conversion would without its undefined cases (NaN, huge values).
    if (v[track::cameraMode] >= 1.0f && v[track::cameraMode] < 2.0f) {
        // Orbit: v1 radius, v2 degrees about the vertical axis, v3 height.
        const float angle = v[track::camAngleY] / 180.0f * 3.141592f;
        camera.eye = glm::vec3(std::sin(angle) * v[track::camRadiusX], v[track::camHeightZ], std::cos(angle) * v[track::camRadiusX]);
    } else {
        camera.eye = glm::vec3(v[track::camRadiusX], v[track::camAngleY], v[track::camHeightZ]);
    }
}

void setCameraProjection(Camera& camera, float fieldOfView, float farPlane)
{
    // The comparisons are false for NaN, so it is refused with the rest.
    const bool usable = fieldOfView > 0.0f && fieldOfView < 180.0f && aspectRatio > 0.0f &&
                        std::isfinite(aspectRatio) && farPlane > trackNearPlane &&
                        std::isfinite(farPlane);
    const glm::mat4 projection =
        usable ? perspectiveProjection(fieldOfView, aspectRatio, trackNearPlane, farPlane)
               : glm::mat4(0.0f);
    if (!usable || !isFinite(projection)) {
        ++camera.keptProjections;
        return;
    }
    camera.projection = projection;
}

void updateCameraView(Camera& camera)
{
    const glm::vec3 direction = camera.target - camera.eye;
    const float length = glm::length(direction);
    const float upLength = glm::length(camera.up);
    // Parallel to up when the sine of the angle between them is ~0.
    const bool usable = isFinite(camera.eye) && isFinite(camera.target) && isFinite(camera.up) &&
                        length > 0.0f && std::isfinite(length) && upLength > 0.0f &&
                        glm::length(glm::cross(direction / length, camera.up / upLength)) > 1e-6f;
    const glm::mat4 view = usable ? glm::lookAt(camera.eye, camera.target, camera.up) : glm::mat4(0.0f);
    if (!usable || !isFinite(view)) {
        ++camera.keptViews;
        return;
    }
    camera.view = view;
    camera.viewEye = camera.eye;
}

void applyCamera(Camera& camera)
{
    updateCameraView(camera);
    setUniformMat4("proj", camera.projection);
    setUniformMat4("view", camera.view);
    setUniformMat4("viewproj", camera.projection * camera.view);
    setUniformVec3("eyePos", camera.viewEye.x, camera.viewEye.y, camera.viewEye.z);
    setUniformMat3("nview", glm::mat3(camera.view));
    setUniformMat4("tview", glm::transpose(camera.view));
}

glm::mat4 perspectiveProjection(float fieldOfView, float aspect, float nearPlane, float farPlane)
{
    const float range = std::tan(glm::radians(fieldOfView / 2.0f)) * nearPlane;
    const float left = -range * aspect;
    const float right = range * aspect;
    const float bottom = -range;
    const float top = range;
    glm::mat4 m(0.0f);
    m[0][0] = 2.0f * nearPlane / (right - left);
    m[1][1] = 2.0f * nearPlane / (top - bottom);
    m[2][2] = -(farPlane + nearPlane) / (farPlane - nearPlane);
    m[2][3] = -1.0f;
    m[3][2] = -2.0f * farPlane * nearPlane / (farPlane - nearPlane);
    return m;
}
