// PLACEHOLDER until the Demo work lands.
#pragma once

#include "app/profiler.h"

struct Demo {
    Profiler profiler;
};

void loadDemo(Demo& demo);
void destroyDemo(Demo& demo);
