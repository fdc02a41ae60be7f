#include "assets/camera.h"

#include <cmath>

#include <glm/gtc/matrix_transform.hpp>

#include "app/window.h"
#include "render/draw.h"

void initCamera(Camera& camera)
{
    camera.up = glm::vec3(0.0f, 1.0f, 0.0f);
    camera.eye = glm::vec3(200.0f, 0.0f, 0.0f);
    camera.target = glm::vec3(0.0f, 0.0f, 0.0f);
    camera.view = glm::mat4(1.0f);
    camera.projection = perspectiveProjection(60.0f, aspectRatio, 1.0f, 100000.0f);
}

void setCameraFromTracks(Camera& camera, std::span<const float> trackValues)
{
    if (trackValues.size() < 8) return;
    const float* v = trackValues.data();
    camera.projection = perspectiveProjection(v[7], aspectRatio, 1.0f, 50000.0f);
    camera.target = glm::vec3(v[4], v[5], v[6]);
    if (static_cast<int>(v[0]) == 1) {
        // Orbit: v1 radius, v2 degrees about the vertical axis, v3 height.
        const float angle = v[2] / 180.0f * 3.141592f;
        camera.eye = glm::vec3(std::sin(angle) * v[1], v[3], std::cos(angle) * v[1]);
    } else {
        camera.eye = glm::vec3(v[1], v[2], v[3]);
    }
}

void applyCamera(Camera& camera)
{
    camera.view = glm::lookAt(camera.eye, camera.target, camera.up);
    setUniformMat4("proj", camera.projection);
    setUniformMat4("view", camera.view);
    setUniformMat4("viewproj", camera.projection * camera.view);
    setUniformVec3("eyePos", camera.eye.x, camera.eye.y, camera.eye.z);
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
