#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "app/timeline.h"
#include "app/transport.h"

namespace {

const std::vector<double> sections = {0.0, 16.0, 40.0, 79.0, 181.3125};

} // namespace

TEST(TransportJump, LandsWithinTheProduction)
{
    EXPECT_EQ(stepLanding(0.4, -1.0, endOfProduction), 0.0);
    EXPECT_EQ(stepLanding(5.0, -10.0, endOfProduction), 0.0);
    EXPECT_EQ(stepLanding(100.0, 10.0, endOfProduction), 110.0);
    EXPECT_EQ(jumpLanding(std::nan(""), endOfProduction), 0.0);
    // Past the end: the last row before it, where the run has not yet ended.
    const double last = stepLanding(205.0, 10.0, endOfProduction);
    EXPECT_DOUBLE_EQ(last, endOfProduction - 1.0 / 16.0);
    EXPECT_FALSE(runHasEnded(float(last)));
    EXPECT_EQ(stepLanding(207.55, 1.0, endOfProduction), last);
}

TEST(TransportSections, PageUpAndDownWalkTheMarkers)
{
    EXPECT_EQ(nextSectionStart(sections, 0.0), 16.0);
    EXPECT_EQ(nextSectionStart(sections, 20.0), 40.0);
    EXPECT_EQ(nextSectionStart(sections, 181.3125), 181.3125);  // none after the last: stay
    EXPECT_EQ(nextSectionStart({}, 12.0), 12.0);

    // Well inside a section: back to its start; right at a start: the one before.
    EXPECT_EQ(previousSectionStart(sections, 60.0), 40.0);
    EXPECT_EQ(previousSectionStart(sections, 40.0), 16.0);
    EXPECT_EQ(previousSectionStart(sections, 40.2), 16.0);
    EXPECT_EQ(previousSectionStart(sections, 10.0), 0.0);
    EXPECT_EQ(previousSectionStart({}, 50.0), 0.0);

    // Down then up returns to where it started.
    double t = 0.0;
    for (int i = 0; i < 4; ++i)
        t = nextSectionStart(sections, t);
    EXPECT_EQ(t, 181.3125);
    for (int i = 0; i < 3; ++i)
        t = previousSectionStart(sections, t);
    EXPECT_EQ(t, 16.0);
}

TEST(TransportLoop, WrapsToItsStartOnlyWhilePlayingAndLooping)
{
    Transport transport;
    markLoopStart(transport, 30.0);
    markLoopEnd(transport, 34.0);
    EXPECT_EQ(loopWrapLanding(transport, 34.5, endOfProduction), -1.0);  // L not pressed
    transport.looping = true;
    EXPECT_EQ(loopWrapLanding(transport, 33.9, endOfProduction), -1.0);
    EXPECT_EQ(loopWrapLanding(transport, 34.0, endOfProduction), 30.0);
    transport.paused = true;
    EXPECT_EQ(loopWrapLanding(transport, 36.0, endOfProduction), -1.0);
    transport.paused = false;

    // Looping keeps the run going past the end of the production.
    EXPECT_FALSE(transportEndsRun(transport, 208.0f));
    transport.looping = false;
    EXPECT_TRUE(transportEndsRun(transport, 208.0f));
}

TEST(TransportLoop, MarksInTheWrongOrderNeverMakeAnEmptyLoop)
{
    Transport transport;
    transport.looping = true;
    // Only a start: the loop runs to the end of the production.
    markLoopStart(transport, 200.0);
    EXPECT_EQ(loopWrapTime(transport, endOfProduction), endOfProduction);
    EXPECT_EQ(loopWrapLanding(transport, 207.7, endOfProduction), 200.0);

    // An end before the start: the start goes back to 0.
    markLoopEnd(transport, 50.0);
    EXPECT_EQ(transport.loopStart, 0.0);
    EXPECT_EQ(loopWrapLanding(transport, 50.0, endOfProduction), 0.0);

    // A start after the end drops the end.
    markLoopStart(transport, 60.0);
    EXPECT_EQ(loopWrapTime(transport, endOfProduction), endOfProduction);

    // An end at 0 cannot close a loop.
    Transport atZero;
    markLoopEnd(atZero, 0.0);
    EXPECT_LT(atZero.loopEnd, 0.0);
}
