#!/usr/bin/python3
"""The frame-to-frame motion figures of scripts/measure on made frames: a
beat that flashes on its kicks and one that does not, speckles over a
field against a few, and a still picture against a moving one."""
import os
import sys
import unittest

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import measure_motion as m  # noqa: E402

FPS = 30
H, W = 72, 128
rng = np.random.default_rng(3)


def fed(start, frames):
    motion = m.CellChanges(FPS, start)
    for frame in frames:
        motion.add(frame)
    return motion


def grain(level=40.0):
    return np.full((H, W, 3), level) + rng.normal(0.0, 2.0, (H, W, 3))


class Motion(unittest.TestCase):
    def test_kicks_must_stand_out_of_their_window(self):
        start = 136.0
        kicks = [start + 0.5 * k for k in range(1, 10)]
        kick_frames = {int(round((k - start) * FPS)) for k in kicks}
        lit = [grain(120.0 if i in kick_frames else 40.0) for i in range(5 * FPS)]
        self.assertTrue(m.measure_beat(fed(start, lit), kicks)[0])
        self.assertFalse(m.measure_beat(fed(start, [grain() for _ in range(5 * FPS)]), kicks)[0])
        self.assertIsNone(m.measure_beat(fed(100.0, [grain() for _ in range(10)]), kicks)[0])

    def test_a_kick_counts_where_its_row_puts_the_peak(self):
        # Kicks just after a row: the light jumps up on that row, the frame
        # before the one nearest the kick, and fades slowly over busy frames.
        # Five frames late is off the beat.
        start = 136.0
        kicks = [start + 0.5 * k + 0.018 for k in range(1, 10)]

        def lifted(delay):
            rises = {int(np.ceil((round(k * 16.0) / 16.0 - start) * FPS)) + delay for k in kicks}
            frames, lift = [], 0.0
            for i in range(5 * FPS):
                lift = 30.0 if i in rises else lift * 0.85
                frames.append(np.full((H, W, 3), 40.0 + lift) + rng.normal(0.0, 20.0, (H, W, 3)))
            return fed(start, frames)

        self.assertTrue(m.measure_beat(lifted(0), kicks)[0])
        self.assertFalse(m.measure_beat(lifted(5), kicks)[0])

    def test_speckles_over_a_field_twinkle(self):
        def speckled(count, start=120.0, calm=0):
            frames = []
            for _ in range(10):
                frame = grain()
                ys, xs = rng.integers(0, H // 8, count), rng.integers(0, W // 8, count)
                for y, x in zip(ys, xs):
                    frame[y * 8:(y + 1) * 8, x * 8:(x + 1) * 8] = 255.0
                frames.append(frame)
            return fed(start, frames + [grain() for _ in range(calm)])
        self.assertFalse(m.measure_twinkle(speckled(40))[0])
        self.assertTrue(m.measure_twinkle(speckled(0))[0])
        # The gather's cut changes every cell at once; it is not shimmer.
        self.assertTrue(m.measure_twinkle(speckled(40, start=115.18, calm=20))[0])
        self.assertFalse(m.measure_twinkle(speckled(40, start=116.0, calm=20))[0])

    def test_a_still_picture_is_still_and_a_moving_one_is_not(self):
        self.assertFalse(m.measure_still(fed(79.3, [grain() for _ in range(40)]))[0])
        moving = []
        for i in range(40):
            frame = grain()
            frame[:, (i * 4) % W:(i * 4) % W + 24] = 230.0
            moving.append(frame)
        self.assertTrue(m.measure_still(fed(79.3, moving))[0])


if __name__ == "__main__":
    unittest.main()
