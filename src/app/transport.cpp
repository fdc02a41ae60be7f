#include "app/transport.h"

#include <algorithm>

#include "app/timeline.h"

namespace {

// Half a row: a start this close after now is now's own (seconds).
constexpr double sameMoment = 0.5 / rowsPerSecond;

} // namespace

double jumpLanding(double seconds, double end)
{
    if (!(seconds > 0.0))
        return 0.0;  // NaN lands at 0 too
    const double lastRow = end - 1.0 / rowsPerSecond;
    return std::min(seconds, std::max(0.0, lastRow));
}

double stepLanding(double now, double step, double end)
{
    return jumpLanding(now + step, end);
}

double previousSectionStart(const std::vector<double>& starts, double now)
{
    double found = 0.0;
    for (double start : starts)
        if (start <= now - sectionRestartGrace)
            found = std::max(found, start);
    return found;
}

double nextSectionStart(const std::vector<double>& starts, double now)
{
    for (double start : starts)
        if (start > now + sameMoment)
            return start;
    return now;
}

void markLoopStart(Transport& transport, double now)
{
    transport.loopStart = now;
    if (transport.loopEnd >= 0.0 && transport.loopEnd <= now)
        transport.loopEnd = -1.0;
}

void markLoopEnd(Transport& transport, double now)
{
    if (transport.loopStart >= now)
        transport.loopStart = 0.0;
    transport.loopEnd = now > transport.loopStart ? now : -1.0;
}

double loopWrapTime(const Transport& transport, double end)
{
    return transport.loopEnd >= 0.0 ? transport.loopEnd : end;
}

double loopWrapLanding(const Transport& transport, double now, double end)
{
    if (!transport.looping || transport.paused || now < loopWrapTime(transport, end))
        return -1.0;
    return transport.loopStart;
}

int nextSlowdown(int slowdown)
{
    return slowdown == 1 ? 2 : slowdown == 2 ? 4 : 1;
}

bool transportEndsRun(const Transport& transport, float musicTime)
{
    return !transport.looping && runHasEnded(musicTime);
}
