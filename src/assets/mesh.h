// PLACEHOLDER until the assets work lands: the mesh calls the entry point makes.
#pragma once

#include <cstdint>
#include <vector>

struct Mesh {
    uint32_t vertexBuffer = 0;
    uint32_t indexBuffer = 0;
    int32_t triangleCount = 0;
    int32_t vertexCount = 0;
    std::vector<float> vertexData;
    std::vector<uint16_t> indexData;
};

extern Mesh skyMesh;
extern Mesh screenQuad0;
extern Mesh screenQuad1;

void createQuadMesh(Mesh& mesh);
bool loadMeshFile(const char* path);
