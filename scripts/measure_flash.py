"""Photosensitivity: general and red flashes per second, for scripts/measure.

Follows the general-flash and red-flash thresholds of WCAG 2.x success
criterion 2.3.1:
  - relative luminance L from the sRGB values (linearised, 0.2126 R +
    0.7152 G + 0.0722 B);
  - a change is a rise or fall of L by at least 0.1 (10 % of the largest
    relative luminance) where the darker of the two states is below 0.80;
  - a red change is a rise or fall of max(0, (R - G - B) * 320), on the
    linear values, by more than 20 where either state is saturated red
    (R / (R + G + B) at least 0.8);
  - a frame counts as a change when the changed pixels in one direction fill
    at least a quarter of some 10-degree field, a 341 x 256 pixel rectangle
    at 1024 x 768 scaled to the frame;
  - a flash is a pair of opposing changes; successive changes in one
    direction count as one; the figure is the most flashes in any second.
With `reach` 2 a change may also be spread over two frame steps (the frame
against the one two before), so a flash whose changes do not fall on single
frames is counted too.
"""
import numpy as np

FIELD = (341.0 / 1024.0, 256.0 / 768.0)  # 10-degree field, as a share of the frame's width and height
STRIDE = 8                               # pixels between the field positions tried


def linear(frame):
    c = frame / 255.0
    return np.where(c <= 0.04045, c / 12.92, ((c + 0.055) / 1.055) ** 2.4)


class FlashCounter:
    """Feed frames in order with add(); flashes() gives the most flashes in
    any one second, general and red."""

    def __init__(self, fps, reach=1):
        self.fps = fps
        self.reach = reach
        self.history = []  # the last `reach` frames: (luminance, redness, saturated)
        self.changes = {"general": [], "red": []}  # (frame index, +1 or -1)
        self.index = 0

    def _covers(self, mask):
        """Whether the pixels of `mask` fill a quarter of some 10-degree field."""
        h, w = mask.shape
        fh, fw = max(1, int(round(FIELD[1] * h))), max(1, int(round(FIELD[0] * w)))
        total = np.zeros((h + 1, w + 1))
        total[1:, 1:] = np.cumsum(np.cumsum(mask, axis=0), axis=1)
        ys = np.arange(0, h - fh + 1, min(STRIDE, fh))
        xs = np.arange(0, w - fw + 1, min(STRIDE, fw))
        y, x = np.meshgrid(ys, xs, indexing="ij")
        counts = total[y + fh, x + fw] - total[y, x + fw] - total[y + fh, x] + total[y, x]
        return counts.max() >= 0.25 * fh * fw

    def _note(self, kind, up, down):
        direction = 1 if self._covers(up) else -1 if self._covers(down) else 0
        if direction:
            self.changes[kind].append((self.index, direction))

    def add(self, frame):
        """One frame: an (h, w, 3) array of 8-bit sRGB values."""
        rgb = linear(frame.astype(np.float64))
        luminance = rgb[..., 0] * 0.2126 + rgb[..., 1] * 0.7152 + rgb[..., 2] * 0.0722
        total = rgb.sum(axis=2)
        saturated = rgb[..., 0] >= 0.8 * np.maximum(total, 1e-12)
        redness = np.maximum(0.0, (rgb[..., 0] - rgb[..., 1] - rgb[..., 2]) * 320.0)
        general_up, general_down = np.zeros(luminance.shape, bool), np.zeros(luminance.shape, bool)
        red_up, red_down = general_up.copy(), general_down.copy()
        for then_luminance, then_redness, then_saturated in self.history:
            change = luminance - then_luminance
            dark = np.minimum(luminance, then_luminance) < 0.8
            general_up |= (change >= 0.1) & dark
            general_down |= (change <= -0.1) & dark
            red_change = redness - then_redness
            either = saturated | then_saturated
            red_up |= (red_change > 20.0) & either
            red_down |= (red_change < -20.0) & either
        if self.history:
            self._note("general", general_up, general_down)
            self._note("red", red_up, red_down)
        self.history = (self.history + [(luminance, redness, saturated)])[-self.reach:]
        self.index += 1

    def flashes(self):
        """{kind: (most flashes in a second, time in seconds where that second starts)}."""
        out = {}
        for kind, changes in self.changes.items():
            turns = []
            for index, direction in changes:
                if not turns or turns[-1][1] != direction:
                    turns.append((index, direction))
            best = (0, 0.0)
            window = int(round(self.fps))
            for k, (start, _) in enumerate(turns):
                count = sum(1 for index, _ in turns[k:] if index < start + window)
                best = max(best, (count // 2, start / self.fps))
            out[kind] = best
        return out
