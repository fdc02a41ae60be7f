#!/usr/bin/python3
"""The photosensitivity figure of scripts/measure on made strobes: full-frame
strobes at 2 to 5 Hz count as many flashes a second, a small square under the
area threshold and a slow fade none, a saturated red strobe red flashes."""
import os
import sys
import unittest

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from measure_flash import FlashCounter  # noqa: E402

FPS = 30
H, W = 72, 128


def counted(frames, reach=1):
    counter = FlashCounter(FPS, reach)
    for frame in frames:
        counter.add(frame)
    return counter.flashes()


def strobe(hz, colour=(255, 255, 255), box=None, seconds=3):
    frames = []
    for i in range(seconds * FPS):
        frame = np.zeros((H, W, 3))
        if int(i * 2 * hz / FPS) % 2 == 0:
            y0, y1, x0, x1 = box or (0, H, 0, W)
            frame[y0:y1, x0:x1] = colour
        frames.append(frame)
    return frames


class Flashes(unittest.TestCase):
    def test_full_frame_strobes_count_their_rate(self):
        for hz in (2, 3, 4, 5):
            for reach in (1, 2):
                self.assertEqual(counted(strobe(hz), reach)["general"][0], hz, "%d Hz, reach %d" % (hz, reach))

    def test_a_square_under_the_area_threshold_does_not_count(self):
        # A quarter of the field is 0.25 * 43 * 24 = 258 pixels; 15 x 15 is 225.
        self.assertEqual(counted(strobe(5, box=(10, 25, 10, 25)))["general"][0], 0)
        self.assertEqual(counted(strobe(5, box=(10, 30, 10, 30)))["general"][0], 5)

    def test_a_slow_fade_and_a_dim_flicker_do_not_count(self):
        fade = [np.full((H, W, 3), 255.0 * i / (2 * FPS)) for i in range(2 * FPS)]
        self.assertEqual(counted(fade, 2)["general"][0], 0)
        # Bright states both above 0.8 relative luminance: no flash however fast.
        flicker = [np.full((H, W, 3), 240.0 if i % 2 else 255.0) for i in range(FPS)]
        self.assertEqual(counted(flicker)["general"][0], 0)

    def test_a_change_spread_over_two_frames_counts_only_with_reach_two(self):
        # Black to grey in two steps of about 0.065 relative luminance each:
        # neither step is a change, the two together are.
        levels = [0, 70, 100, 70] * 20
        frames = [np.full((H, W, 3), float(v)) for v in levels]
        self.assertEqual(counted(frames, 1)["general"][0], 0)
        self.assertGreater(counted(frames, 2)["general"][0], 0)

    def test_a_saturated_red_strobe_counts_red_flashes(self):
        red = counted(strobe(4, colour=(255, 0, 0)))
        self.assertEqual(red["red"][0], 4)
        self.assertEqual(counted(strobe(4, colour=(255, 255, 255)))["red"][0], 0)


if __name__ == "__main__":
    unittest.main()
