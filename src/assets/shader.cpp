// PLACEHOLDER until the assets work lands.
#include "assets/shader.h"

void pollShaderFiles() {}
