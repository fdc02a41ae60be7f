#include "app/clocks.h"

#include <chrono>

using std::chrono::duration;
using std::chrono::steady_clock;
using std::chrono::system_clock;

int64_t steadyClockTicks()
{
    return steady_clock::now().time_since_epoch().count();
}

double steadyClockTickSeconds()
{
    return double(steady_clock::period::num) / double(steady_clock::period::den);
}

double steadyClockSeconds()
{
    return duration<double>(steady_clock::duration(steadyClockTicks())).count();
}

double systemClockSeconds()
{
    return duration<double>(system_clock::now().time_since_epoch()).count();
}
