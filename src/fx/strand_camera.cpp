// The two camera modes of the second scene that follow the strand: an orbit
// about a point of the strand path (mode 2) and an orbit about one node
// (mode 3). Both use a nearer far plane than the free camera.
#include <cmath>

#include "app/window.h"
#include "assets/camera.h"
#include "fx/swarm_field.h"

namespace {

constexpr float kStrandFarPlane = 8000.0f;  // units

// Orbit angle from track 2, degrees to radians as the track camera does it.
inline float orbitAngle(const float* tracks) { return tracks[2] / 180.0f * 3.141592f; }

}  // namespace

void strandCamera(Camera& camera, const float* tracks, float time) {
    if (tracks[0] != 2.0f) return;
    const float a = orbitAngle(tracks);
    const float r = tracks[1];
    const glm::vec3 c = strandPath(tracks[3], time);
    setCameraProjection(camera, tracks[7], kStrandFarPlane);
    camera.eye = glm::vec3(c.x + std::sin(a) * r, tracks[3], c.z + std::cos(a) * r);
    camera.target = glm::vec3(c.x + tracks[4], tracks[5], c.z + tracks[6]);
}

void clusterCamera(Camera& camera, const float* tracks, const SwarmField& field, int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= field.clusterCentres.size()) return;
    const Vec4& node = field.clusterCentres[index];
    const glm::vec3 c(node.x, node.y, node.z);
    const float a = orbitAngle(tracks);
    const float r = tracks[1];
    setCameraProjection(camera, tracks[7], kStrandFarPlane);
    camera.target = c + glm::vec3(tracks[4], tracks[5], tracks[6]);
    camera.eye = c + glm::vec3(std::sin(a) * r, tracks[3], std::cos(a) * r);
}
