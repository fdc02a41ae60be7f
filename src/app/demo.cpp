// PLACEHOLDER until the Demo work lands.
#include "app/demo.h"

void loadDemo(Demo&) {}
void destroyDemo(Demo& demo) { releaseProfiler(demo.profiler); }
