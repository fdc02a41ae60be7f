// The two camera modes of the second scene that follow the strand: an orbit
// about a point of the strand path (mode 2) and an orbit about one node
// (mode 3). Both use a nearer far plane than the free camera.
#include <cmath>

#include "assets/camera.h"
#include "fx/swarm_field.h"
#include "sync/track_names.h"

namespace {

constexpr float strandFarPlane = 8000.0f;  // units

// Orbit angle from track::camAngleY, degrees to radians as the track camera does it.
inline float orbitAngle(const float* tracks) { return tracks[track::camAngleY] / 180.0f * 3.141592f; }

}  // namespace

void strandCamera(Camera& camera, const float* tracks, float time) {
    if (tracks[track::cameraMode] != 2.0f) return;
    const float a = orbitAngle(tracks);
    const float r = tracks[track::camRadiusX];
    const glm::vec3 c = strandPath(tracks[track::camHeightZ], time);
    setCameraProjection(camera, tracks[track::fov], strandFarPlane);
    camera.eye = glm::vec3(c.x + std::sin(a) * r, tracks[track::camHeightZ], c.z + std::cos(a) * r);
    camera.target = glm::vec3(c.x + tracks[track::targetX], tracks[track::targetY], c.z + tracks[track::targetZ]);
}

void clusterCamera(Camera& camera, const float* tracks, const SwarmField& field, int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= field.clusterCentres.size()) return;
    const Vec4& node = field.clusterCentres[index];
    const glm::vec3 c(node.x, node.y, node.z);
    const float a = orbitAngle(tracks);
    const float r = tracks[track::camRadiusX];
    setCameraProjection(camera, tracks[track::fov], strandFarPlane);
    camera.target = c + glm::vec3(tracks[track::targetX], tracks[track::targetY], tracks[track::targetZ]);
    camera.eye = c + glm::vec3(std::sin(a) * r, tracks[track::camHeightZ], std::cos(a) * r);
}
