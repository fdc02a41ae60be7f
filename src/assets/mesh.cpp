// PLACEHOLDER until the assets work lands.
#include "assets/mesh.h"

Mesh skyMesh;
Mesh screenQuad0;
Mesh screenQuad1;

void createQuadMesh(Mesh&) {}
bool loadMeshFile(const char*) { return false; }
