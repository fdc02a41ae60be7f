// PLACEHOLDER until the scenes work lands: the two scene frames.
#pragma once

struct Demo;

void drawScene1(const float* trackValues, Demo& demo, double musicTime);
void drawScene2(const float* trackValues, Demo& demo, double musicTime);
