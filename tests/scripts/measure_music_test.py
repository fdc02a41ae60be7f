#!/usr/bin/python3
"""The soundtrack figures of scripts/measure on signals made here: where a hit
starts and a stop falls, the notes of a melody, mono and wide lows, and a
spectrum with and without a boomy band."""
import os
import sys
import unittest

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import measure_music as m  # noqa: E402

RATE = m.RATE
rng = np.random.default_rng(7)


def saw(frequency, seconds):
    t = np.arange(int(seconds * RATE)) / RATE
    return 0.3 * (2.0 * ((t * frequency) % 1.0) - 1.0)


class MusicFigures(unittest.TestCase):
    def test_hit_and_stop_are_found_to_the_millisecond(self):
        audio = 0.01 * rng.standard_normal(2 * RATE)
        hit, stop = 0.7345, 1.5
        audio[int(hit * RATE):int(hit * RATE) + 2000] += 0.5 * rng.standard_normal(2000)
        audio[int(stop * RATE):] = 0.0
        self.assertAlmostEqual(m.sharpest_change(audio, hit + 0.01, +1), hit, delta=0.001)
        self.assertAlmostEqual(m.sharpest_change(audio, stop - 0.008, -1), stop, delta=0.001)

    def test_pitch_track_reads_the_notes_of_a_line(self):
        line = [69, 74, 77, 76, 74, 72, 57]  # A4 D5 F5 E5 D5 C5 A3
        audio = np.concatenate([saw(440.0 * 2 ** ((n - 69) / 12), 0.25) for n in line])
        notes = m.notes_of(m.pitch_track(audio))
        self.assertEqual([n for _, n in notes], line)
        self.assertAlmostEqual(notes[3][0], 0.75, delta=0.03)

    def test_stereo_lows_mono_pass_and_wide_fail(self):
        t = np.arange(3 * RATE) / RATE
        low = 0.3 * np.sin(2 * np.pi * 80.0 * t)
        mono = np.stack([low, low], axis=1)
        wide = np.stack([low, 0.3 * np.sin(2 * np.pi * 80.0 * t + 1.8)], axis=1)
        sections = [(0.0, 3.0, "all")]
        self.assertTrue(m.measure_stereo(mono, sections)[0])
        self.assertFalse(m.measure_stereo(wide, sections)[0])
        self.assertFalse(m.measure_stereo(mono + 0.01, sections)[0], "a DC offset of -40 dBFS passed")

    def test_spectrum_on_the_slope_passes_and_a_boom_fails(self):
        n = 20 * RATE
        frequencies = np.fft.rfftfreq(n, 1.0 / RATE)
        # Noise whose power density falls 4.5 dB per octave.
        shape = np.where(frequencies > 20.0, (np.maximum(frequencies, 1.0) / 1000.0) ** (-4.5 / 6.02), 0.0)
        noise = np.fft.irfft(shape * (rng.standard_normal(len(frequencies)) + 1j * rng.standard_normal(len(frequencies))), n)
        noise *= 0.1 / np.sqrt(np.mean(noise ** 2))
        self.assertTrue(m.measure_spectrum(np.stack([noise, noise], axis=1))[0])
        boom = noise + 0.2 * np.sin(2 * np.pi * 50.0 * np.arange(n) / RATE)
        ok, detail = m.measure_spectrum(np.stack([boom, boom], axis=1))
        self.assertFalse(ok)
        self.assertIn("at 50 Hz", detail)


if __name__ == "__main__":
    unittest.main()
