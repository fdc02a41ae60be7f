// PLACEHOLDER until the assets work lands.
#pragma once

void pollShaderFiles();
