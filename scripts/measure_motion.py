"""Frame-to-frame motion in cells of 8 x 8 pixels, for scripts/measure.

A frame's cell change is the mean, over the cells, of the absolute change of
each cell's mean luma (0-255) from the frame before. Its twinkle is the share
of cells whose mean grey (luma / 255, as the other figures) changed by 0.1 or
more, in the 10-degree field (341 x 256 pixels at 1024 x 768, scaled to the
frame) where that share is largest.

  beat     135.18-179.3 s: at each kick the cell change is at least twice the
           median of the other frames of its 4 s window; the change at a kick
           is the largest of the frame steps within half a sync row (1/32 s)
           of it, since the timeline puts a pulse's peak on the row nearest
           its event, up to half a row early or late
  twinkle  115-135 s: no frame's twinkle above 5 % (the 0.5 s after an
           impact or the gather's camera cut excepted: a cut changes every
           cell at once, which is no shimmer)
  still    79.3-81 s: median cell change at least 4
Each figure is skipped (ok None) when the frames measured miss its stretch.
"""
import numpy as np

from measure_flash import FIELD

CELL = 8
BEAT = (135.18, 179.3125)    # seconds
TWINKLE = (115.0, 135.0)     # seconds
STILL = (79.3, 81.0)         # seconds
IMPACTS = (79.0, 135.18, 179.3125)
CUTS = (115.18,)             # seconds: the camera cuts to the strand orbit at the gather
HALF_ROW = 1.0 / 32.0          # seconds: half a row of the sync tracks


def cells(values):
    """Mean of each whole 8 x 8 cell of an (h, w) array."""
    h, w = (values.shape[0] // CELL) * CELL, (values.shape[1] // CELL) * CELL
    return values[:h, :w].reshape(h // CELL, CELL, w // CELL, CELL).mean(axis=(1, 3))


class CellChanges:
    """Feed frames in order with add(); keeps two figures a frame."""

    def __init__(self, fps, start):
        self.fps = fps
        self.start = start
        self.previous = None      # luma cells of the last frame
        self.times, self.change, self.twinkle = [], [], []

    def add(self, frame):
        """One frame: an (h, w, 3) array of 8-bit sRGB values."""
        now = cells(frame[..., 0] * 0.2126 + frame[..., 1] * 0.7152 + frame[..., 2] * 0.0722)
        if self.previous is not None:
            # The change into frame n (n from 1) is timed at frame n.
            change = np.abs(now - self.previous)
            self.times.append(self.start + (len(self.times) + 1) / self.fps)
            self.change.append(float(change.mean()))
            self.twinkle.append(self._worst_field(change >= 0.1 * 255.0))
        self.previous = now

    @staticmethod
    def _worst_field(mask):
        h, w = mask.shape
        fh, fw = max(1, int(round(FIELD[1] * h))), max(1, int(round(FIELD[0] * w)))
        total = np.zeros((h + 1, w + 1))
        total[1:, 1:] = np.cumsum(np.cumsum(mask, axis=0), axis=1)
        y, x = np.meshgrid(np.arange(h - fh + 1), np.arange(w - fw + 1), indexing="ij")
        counts = total[y + fh, x + fw] - total[y, x + fw] - total[y + fh, x] + total[y, x]
        return float(counts.max()) / (fh * fw)


def measure_beat(motion, kicks):
    times, change = np.array(motion.times), np.array(motion.change)
    if len(times) == 0:
        return None, "no frames"
    step = 1.0 / motion.fps
    kicks = [k for k in kicks if BEAT[0] <= k < BEAT[1] and times[0] - step <= k <= times[-1]]
    # The frame steps (the change into frame n spans the step before it)
    # that reach within half a row of each kick.
    steps = {k: [i for i in range(len(times)) if times[i] - step < k + HALF_ROW and times[i] > k - HALF_ROW]
             for k in kicks}
    near = {i for found in steps.values() for i in found}
    worst, failed, counted, windows = (1e9, 0.0), 0, 0, 0
    t = BEAT[0]
    while t < BEAT[1]:
        end = min(t + 4.0, BEAT[1])
        on = [k for k in kicks if t <= k < end and steps[k]]
        off = [change[i] for i in range(len(times)) if t <= times[i] < end and i not in near]
        if on and off:
            windows += 1
            median = float(np.median(off))
            for k in on:
                ratio = max(change[i] for i in steps[k]) / max(median, 1e-6)
                worst = min(worst, (ratio, k))
                failed += ratio < 2.0
                counted += 1
        t += 4.0
    if windows == 0:
        return None, "no kick of %g-%g s inside the frames measured" % BEAT
    return failed == 0, "%d kicks in %d windows of 4 s, %d under twice their window's median; weakest x%.2f at %.2f s" % (
        counted, windows, failed, worst[0], worst[1])


def measure_twinkle(motion):
    rows = [(s, t) for t, s in zip(motion.times, motion.twinkle)
            if TWINKLE[0] <= t <= TWINKLE[1] and not any(i <= t <= i + 0.5 for i in IMPACTS + CUTS)]
    if not rows:
        return None, "no frames in %g-%g s" % TWINKLE
    share, at = max(rows)
    return share <= 0.05, "largest share of cells changing by 0.1 in a 10-degree field %.1f %% at %.2f s" % (
        share * 100.0, at)


def measure_still(motion):
    values = [c for t, c in zip(motion.times, motion.change) if STILL[0] <= t <= STILL[1]]
    if not values:
        return None, "no frames in %g-%g s" % STILL
    median = float(np.median(values))
    return median >= 4.0, "median cell change %.2f in %g-%g s" % (median, STILL[0], STILL[1])
