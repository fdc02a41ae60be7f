"""The soundtrack's figures for scripts/measure --music, and the audio helpers
the direction figures share with them.

Everything is measured on data/drumveil.mp3 as decoded by ffmpeg, against the
sections and hits of sync/events.txt:

  loudness    integrated loudness -14 +-0.5 LUFS, true peak at most -1 dBTP
              (ffmpeg's ebur128); short-term loudness per section (the mean
              of the 3 s values taken inside it); the drop at least 1 LU above
              the build's last 2 s and the half time at least 3 LU below the
              groove
  spectrum    third-octave long-term spectrum against a -4.5 dB/octave line
              fitted to it: no band of 31.5 Hz - 16 kHz more than 6 dB above
  stereo      DC offset at most -70 dBFS and the inter-channel correlation
              below 150 Hz at least 0.9 in every section that sounds
  repetition  in the groove and in the drop, the median difference between a
              bar's third-octave spectrum and the bar's eight bars later (mean
              absolute dB over the bands) at least 1.5 dB
  motif       a pitch track of the lead alone (rendered by quillon-soundtrack
              --stem lead): its notes in D minor (with the leading tone C#),
              and its most frequent four-note figure heard in three sections
  onsets      every kick and impact of the event file on an onset of the mix
              within 15 ms (8 dB in one band, as the hops), every snare on
              one of 3 dB (in a roll each hit rises over the last one's tail
              only so far); at the fixed times 79.0, 115.18 and 135.18 s
              the level rises fastest within 3 ms of them, and at the stop
              at 179.3125 s it falls fastest within 3 ms
"""
import math
import os
import re
import subprocess
import tempfile

import numpy as np

RATE = 44100
FIXED_ONSETS = (79.0, 115.18, 135.18)  # seconds
STOP = 179.3125                         # seconds
MUSIC = ("loudness", "spectrum", "stereo", "repetition", "motif", "onsets")
THIRD_OCTAVES = [1000.0 * 2.0 ** (k / 3.0) for k in range(-15, 13)]  # 31.5 Hz .. 16 kHz
D_MINOR = {2, 4, 5, 7, 9, 10, 0, 1}  # pitch classes: D E F G A Bb C and the leading tone C#
NAMES = ["C", "C#", "D", "Eb", "E", "F", "F#", "G", "Ab", "A", "Bb", "B"]

ONSET_BANDS = ((30.0, 150.0), (150.0, 1500.0), (1500.0, 8000.0))  # Hz: kick, body, snap
ONSET_DB = 8.0  # rise in one band that counts as an onset (every kick of the score rises 9 dB or more)
SNARE_DB = 3.0  # the same for a snare: in a roll of sixteenths each hit rises over the last one's tail


# ---------------------------------------------------------------- audio


def mp3_path(root):
    return os.path.join(root, "data", "drumveil.mp3")


def decode_audio(root, channels=1):
    """The soundtrack at 44.1 kHz as floats, (n,) mono or (n, 2) stereo
    (ffmpeg drops the encoder delay)."""
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", mp3_path(root), "-ac", str(channels),
                          "-ar", str(RATE), "-f", "f32le", "-"], stdout=subprocess.PIPE, check=True).stdout
    audio = np.frombuffer(raw, np.float32).astype(np.float64)
    return audio if channels == 1 else audio.reshape(-1, channels)


def band_levels(chunk):
    """Mean power of a stretch of audio in each of the onset bands."""
    spectrum = np.abs(np.fft.rfft(chunk * np.hanning(len(chunk)), 4096)) ** 2
    frequencies = np.fft.rfftfreq(4096, 1.0 / RATE)
    return [float(spectrum[(frequencies >= lo) & (frequencies < hi)].mean()) + 1e-12 for lo, hi in ONSET_BANDS]


def onset_rise(audio, at):
    """dB by which the 10 ms after a time outweigh the 40 ms before it, in the
    band where they rise most: a kick shows in the lows under sustained pads,
    a snare or clap in the highs."""
    a = int(round(at * RATE))
    before = audio[max(0, a - int(0.04 * RATE)):a]
    after = audio[a:a + int(0.01 * RATE)]
    if len(before) < int(0.04 * RATE) or len(after) < int(0.01 * RATE):
        return 0.0
    # Four 10 ms windows before, so both sides are measured alike.
    windows = [band_levels(before[k * len(after):(k + 1) * len(after)]) for k in range(4)]
    then = [sum(w[b] for w in windows) / 4.0 for b in range(len(ONSET_BANDS))]
    now = band_levels(after)
    return max(10.0 * math.log10(n / t) for n, t in zip(now, then))


def read_grid(root):
    """(sections, tempos) of sync/events.txt: [(start, end, name)] and
    [(start, bpm, beats per bar)]; the last section ends at the outro's fade."""
    sections, tempos = [], []
    for line in open(os.path.join(root, "sync", "events.txt")):
        words = line.split()
        if len(words) >= 3 and words[0] == "section":
            sections.append([float(words[1]), None, words[2]])
        elif len(words) >= 4 and words[0] == "tempo":
            tempos.append((float(words[1]), float(words[2]), int(words[3])))
    for k, s in enumerate(sections):
        s[1] = sections[k + 1][0] if k + 1 < len(sections) else 207.3
    return [tuple(s) for s in sections], tempos


def third_octave_levels(power, frequencies):
    """dB per third-octave band of a power spectrum: the mean power density of
    its bins, so a flat (white) spectrum gives equal levels."""
    out = []
    for fc in THIRD_OCTAVES:
        inside = (frequencies >= fc / 2 ** (1 / 6)) & (frequencies < fc * 2 ** (1 / 6))
        out.append(10.0 * math.log10(float(power[inside].mean()) + 1e-20))
    return np.array(out)


def chunk_spectrum(chunk):
    spectrum = np.abs(np.fft.rfft(chunk * np.hanning(len(chunk)))) ** 2
    return third_octave_levels(spectrum, np.fft.rfftfreq(len(chunk), 1.0 / RATE))


# ---------------------------------------------------------------- loudness


def ebur128(root):
    """(summary, [(t, momentary, short-term)]) from ffmpeg's ebur128 filter,
    its figures every 100 ms printed as frame metadata."""
    run = subprocess.run(["ffmpeg", "-hide_banner", "-nostats", "-i", mp3_path(root), "-af",
                          "ebur128=peak=true:metadata=1,ametadata=print:file=-", "-f", "null", "-"],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    frames, t, momentary = [], 0.0, -70.0
    for line in run.stdout.decode(errors="replace").splitlines():
        if line.startswith("frame:"):
            t = float(line.rsplit("pts_time:", 1)[1])
        elif line.startswith("lavfi.r128.M="):
            momentary = max(-70.0, float(line.split("=", 1)[1]))
        elif line.startswith("lavfi.r128.S="):
            frames.append((t, momentary, max(-70.0, float(line.split("=", 1)[1]))))
    log = run.stderr.decode(errors="replace")
    tail = log[log.rfind("Summary:"):]

    def figure(label):
        m = re.search(label + r":\s*(-?[\d.]+|-inf)", tail)
        return float(m.group(1)) if m else float("nan")
    return {"I": figure("I"), "LRA": figure("LRA"), "Peak": figure("Peak")}, frames


def section_loudness(frames, sections):
    means = {}
    for start, end, name in sections:
        inside = [s for t, _, s in frames if start < t <= end]
        means[name] = sum(inside) / len(inside) if inside else -70.0
    return means


def measure_loudness(root, sections):
    summary, frames = ebur128(root)
    means = section_loudness(frames, sections)
    drop = next((s for s in sections if s[2] == "drop"), None)
    build_tail = [s for t, _, s in frames if drop and drop[0] - 2.0 < t <= drop[0]]
    tail = sum(build_tail) / len(build_tail) if build_tail else 0.0
    ok = (abs(summary["I"] + 14.0) <= 0.5 and summary["Peak"] <= -1.0 and
          means.get("drop", -70) >= tail + 1.0 and means.get("halftime", 0) <= means.get("groove", -70) - 3.0)
    detail = "%.1f LUFS integrated, true peak %.1f dBTP, LRA %.1f LU; build's last 2 s %.1f; sections %s" % (
        summary["I"], summary["Peak"], summary["LRA"], tail,
        ", ".join("%s %.1f" % (name, value) for name, value in means.items()))
    return ok, detail


# ---------------------------------------------------------------- spectrum and stereo


def long_term_levels(mono):
    n = 32768
    window = np.hanning(n)
    power = np.zeros(n // 2 + 1)
    for at in range(0, len(mono) - n, n // 2):
        power += np.abs(np.fft.rfft(mono[at:at + n] * window)) ** 2
    return third_octave_levels(power, np.fft.rfftfreq(n, 1.0 / RATE))


def measure_spectrum(stereo):
    levels = long_term_levels(stereo.mean(axis=1))
    octaves = np.log2(np.array(THIRD_OCTAVES) / 1000.0)
    offset = float(np.mean(levels + 4.5 * octaves))
    excess = levels - (offset - 4.5 * octaves)
    worst = int(np.argmax(excess))
    detail = "largest excess %+.1f dB at %g Hz; %s" % (
        excess[worst], round(THIRD_OCTAVES[worst], -1 if THIRD_OCTAVES[worst] > 100 else 0),
        ", ".join("%g Hz %+.1f" % (round(f, 1), e) for f, e in zip(THIRD_OCTAVES, excess) if f < 170 or e > 3.0))
    return float(excess.max()) <= 6.0, detail


def measure_stereo(stereo, sections):
    worst_dc = -200.0
    correlations = []
    for start, end, name in sections:
        part = stereo[int(start * RATE):int(end * RATE)]
        if len(part) < RATE // 2:
            continue
        dc = float(np.abs(part.mean(axis=0)).max())
        worst_dc = max(worst_dc, 20.0 * math.log10(dc + 1e-12))
        left, right = np.fft.rfft(part[:, 0]), np.fft.rfft(part[:, 1])
        frequencies = np.fft.rfftfreq(len(part), 1.0 / RATE)
        low = (frequencies >= 20.0) & (frequencies < 150.0)
        power = [float(np.sum(np.abs(side[low]) ** 2)) for side in (left, right)]
        # Sections without lows (the stop's silence) have no correlation to
        # judge: under -60 dBFS in the band (Parseval: 2 sum |X|^2 / N^2).
        if min(power) * 2.0 / len(part) ** 2 < 1e-6:
            continue
        energy = power[0] * power[1]
        correlations.append((float(np.real(np.sum(left[low] * np.conj(right[low])))) / math.sqrt(energy), name))
    lowest = min(correlations)
    ok = worst_dc <= -70.0 and lowest[0] >= 0.9
    detail = "DC offset at most %.0f dBFS; correlation below 150 Hz lowest %.2f (%s); %s" % (
        worst_dc, lowest[0], lowest[1], ", ".join("%s %.2f" % (n, c) for c, n in correlations))
    return ok, detail


def measure_repetition(mono, sections, tempos):
    results, ok = [], True
    for name in ("groove", "drop"):
        section = next((s for s in sections if s[2] == name), None)
        if section is None:
            return False, "no %s section" % name
        start, end, _ = section
        tempo = [t for t in tempos if t[0] <= start + 1e-6][-1]
        bar = 60.0 / tempo[1] * tempo[2]
        count = int((end - start) / bar + 1e-6)
        spectra = [chunk_spectrum(mono[int((start + b * bar) * RATE):int((start + (b + 1) * bar) * RATE)])
                   for b in range(count)]
        differences = [float(np.mean(np.abs(spectra[b] - spectra[b + 8]))) for b in range(count - 8)]
        median = float(np.median(differences))
        ok = ok and median >= 1.5
        results.append("%s %.2f dB (least %.2f, %d pairs)" % (name, median, min(differences), len(differences)))
    return ok, "median difference to the bar 8 later: " + "; ".join(results)


# ---------------------------------------------------------------- the lead's pitch


def render_lead(build):
    tool = os.path.join(os.path.abspath(build), "tools", "soundtrack", "quillon-soundtrack")
    folder = tempfile.mkdtemp(prefix="quillon-lead-")
    path = os.path.join(folder, "lead.wav")
    result = subprocess.run([tool, "--stem", "lead", path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if result.returncode != 0 or not os.path.exists(path):
        return None, result.stdout.decode(errors="replace").strip()
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-ac", "1", "-f", "f32le", "-"],
                         stdout=subprocess.PIPE, check=True).stdout
    os.remove(path)
    os.rmdir(folder)
    return np.frombuffer(raw, np.float32).astype(np.float64), ""


def pitch_track(x, hop=441, width=1024, low=120.0, high=1500.0):
    """(time, midi or nan) every hop samples: YIN's cumulative mean normalised
    difference over `width` samples, the first dip under 0.15 in range."""
    lags = np.arange(width)
    shortest, longest = int(RATE / high), int(RATE / low)
    out = []
    for at in range(0, len(x) - 2 * width, hop):
        frame = x[at:at + 2 * width]
        t = (at + width) / RATE  # the frame's middle
        if np.sqrt(np.mean(frame ** 2)) < 1e-3:
            out.append((t, float("nan")))
            continue
        spectrum = np.fft.rfft(frame, 4 * width)
        head = np.fft.rfft(frame[:width], 4 * width)
        correlation = np.fft.irfft(spectrum * np.conj(head))[:width]
        energy = np.cumsum(frame ** 2)
        shifted = energy[lags + width - 1] - np.concatenate(([0.0], energy[:width - 1]))
        difference = energy[width - 1] + shifted - 2.0 * correlation
        difference[0] = 0.0
        running = np.cumsum(difference[1:]) / np.arange(1, width)
        normalised = np.concatenate(([1.0], difference[1:] / np.maximum(running, 1e-12)))
        below = np.nonzero(normalised[shortest:longest] < 0.15)[0]
        if len(below) == 0:
            out.append((t, float("nan")))
            continue
        lag = shortest + int(below[0])
        while lag + 1 < longest and normalised[lag + 1] < normalised[lag]:
            lag += 1
        a, b, c = normalised[lag - 1], normalised[lag], normalised[lag + 1]
        shift = 0.5 * (a - c) / (a - 2 * b + c) if abs(a - 2 * b + c) > 1e-12 else 0.0
        frequency = RATE / (lag + shift)
        out.append((t, 69.0 + 12.0 * math.log2(frequency / 440.0)))
    return out


def notes_of(track, shortest=5):
    """[(start seconds, midi)] for runs of at least `shortest` frames on one
    semitone; a repeated pitch counts once."""
    notes, run, current = [], 0, None
    for t, midi in track:
        note = None if math.isnan(midi) else int(round(midi))
        if note is not None and note == current:
            run += 1
            if run == shortest and (not notes or notes[-1][1] != note):
                notes.append((t - (shortest - 1) * 0.01, note))
        else:
            current, run = note, 1
    return notes


def measure_motif(build, sections):
    lead, why = render_lead(build)
    if lead is None:
        return False, "no lead to track (%s)" % (why.splitlines()[-1] if why else "quillon-soundtrack --stem lead failed")
    notes = notes_of(pitch_track(lead))
    if len(notes) < 4:
        return False, "%d notes in the lead's pitch track" % len(notes)
    in_key = sum(1 for _, m in notes if m % 12 in D_MINOR) / len(notes)
    # Figures by pitch class, so the motif an octave down is the same motif.
    figures = {}
    for k in range(len(notes) - 3):
        key = tuple(m % 12 for _, m in notes[k:k + 4])
        figures.setdefault(key, []).append(notes[k][0])
    motif, times = max(figures.items(), key=lambda item: len(item[1]))
    heard = sorted({name for t in times for start, end, name in sections if start <= t < end})
    ok = in_key >= 0.95 and len(heard) >= 3
    detail = "%d notes, %.0f %% in D minor; most frequent figure %s (%d times) in %s" % (
        len(notes), in_key * 100.0, "-".join(NAMES[m] for m in motif),
        len(times), ", ".join(heard) if heard else "no section")
    return ok, detail


# ---------------------------------------------------------------- onsets


def strongest_near(audio, at, reach=0.015, step=0.0005):
    """(time, rise) of the largest onset rise within `reach` of a time."""
    best = (-1e9, at)
    for k in range(-int(reach / step), int(reach / step) + 1):
        t = at + k * step
        best = max(best, (onset_rise(audio, t), t))
    return best[1], best[0]


def sharpest_change(audio, at, sign, reach=0.015):
    """The time within `reach` of `at` where the level (2 ms mean power)
    rises (sign +1) or falls (sign -1) fastest: where a hit starts, or where
    the sound stops."""
    w = int(0.002 * RATE)
    a = int(round((at - reach) * RATE)) - 2 * w
    x = audio[a:int(round((at + reach) * RATE)) + 2 * w] ** 2
    # Levels under -60 dBFS count as -60, so the codec's faint smear after a
    # stop does not outdo the stop itself.
    level = 10.0 * np.log10(np.convolve(x, np.ones(w) / w, mode="same") + 1e-6)
    change = sign * (level[2 * w:] - level[:-2 * w])  # level 1 ms later against 1 ms earlier, at index + w
    return (a + w + int(np.argmax(change[w:-w])) + w) / RATE


def measure_onsets(mono, root):
    hits = []
    for line in open(os.path.join(root, "sync", "events.txt")):
        words = line.split()
        if len(words) >= 2 and words[0] in ("kick", "snare", "impact"):
            hits.append((words[0], float(words[1])))
    missed = {}
    for kind, t in hits:
        missed.setdefault(kind, [0, []])[0] += 1
        _, rise = strongest_near(mono, t)
        if rise < (SNARE_DB if kind == "snare" else ONSET_DB):
            missed[kind][1].append(t)
    offsets = [("%g" % t, (sharpest_change(mono, t, +1) - t) * 1000.0) for t in FIXED_ONSETS]
    offsets.append(("stop %g" % STOP, (sharpest_change(mono, STOP, -1) - STOP) * 1000.0))
    ok = all(not m[1] for m in missed.values()) and all(abs(o) <= 3.0 for _, o in offsets)
    detail = "%s; fixed times %s" % (
        ", ".join("%d of %d %ss on an onset" % (n - len(m), n, kind) for kind, (n, m) in missed.items()),
        ", ".join("%s s %+.1f ms" % (name, o) for name, o in offsets))
    missing = [t for _, m in missed.values() for t in m]
    if missing:
        detail += " (missed at %s)" % ", ".join("%.3f" % t for t in sorted(missing)[:8])
    return ok, detail


# ---------------------------------------------------------------- plots


def write_plots(root, folder):
    """docs-style figures: short-term loudness over the piece with the fixed
    times marked, and a log-frequency spectrogram."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    sections, _ = read_grid(root)
    _, frames = ebur128(root)
    t = np.array([f[0] for f in frames])
    figure, axis = plt.subplots(figsize=(12, 4), dpi=100)
    axis.plot(t, [f[1] for f in frames], color="#9ab", linewidth=0.5, label="momentary (0.4 s)")
    axis.plot(t, [f[2] for f in frames], color="#124", linewidth=1.4, label="short-term (3 s)")
    for start, end, name in sections:
        axis.text(start + 0.5, -8.5, name, fontsize=8, rotation=90, va="top")
    for fixed in FIXED_ONSETS + (STOP,):
        axis.axvline(fixed, color="#c40", linewidth=0.8)
    axis.set_xlim(0, 212)
    axis.set_ylim(-40, -6)
    axis.set_xlabel("music time (s)")
    axis.set_ylabel("loudness (LUFS)")
    axis.set_title("Soundtrack loudness; fixed times 79.0, 115.18, 135.18 and 179.3125 s in red")
    axis.grid(alpha=0.3)
    axis.legend(loc="lower center", fontsize=8)
    figure.tight_layout()
    figure.savefig(os.path.join(folder, "music-loudness.png"))
    plt.close(figure)

    mono = decode_audio(root)
    n, hop = 8192, 4410
    window = np.hanning(n)
    columns = [np.abs(np.fft.rfft(mono[at:at + n] * window)) ** 2 for at in range(0, len(mono) - n, hop)]
    power = np.array(columns).T
    frequencies = np.fft.rfftfreq(n, 1.0 / RATE)
    # Rows on a log axis: each row the mean power of its slice of bins.
    edges = np.geomspace(25.0, 18000.0, 241)
    rows = []
    for lo, hi in zip(edges[:-1], edges[1:]):
        inside = (frequencies >= lo) & (frequencies < hi)
        if not inside.any():
            inside = np.abs(frequencies - math.sqrt(lo * hi)) == np.min(np.abs(frequencies - math.sqrt(lo * hi)))
        rows.append(power[inside].mean(axis=0))
    image = 10.0 * np.log10(np.array(rows) + 1e-12)
    image -= image.max()
    times = np.arange(power.shape[1]) * hop / RATE
    figure, axis = plt.subplots(figsize=(12, 5), dpi=100)
    mesh = axis.pcolormesh(times, edges[:-1], image, vmin=-90, vmax=0, cmap="magma", shading="auto")
    axis.set_yscale("log")
    axis.set_ylim(25, 18000)
    for fixed in FIXED_ONSETS + (STOP,):
        axis.axvline(fixed, color="#4cf", linewidth=0.6)
    axis.set_xlabel("music time (s)")
    axis.set_ylabel("frequency (Hz)")
    axis.set_title("Soundtrack spectrogram (dB below the loudest cell)")
    figure.colorbar(mesh, ax=axis, pad=0.01)
    figure.tight_layout()
    figure.savefig(os.path.join(folder, "music-spectrogram.png"))
    plt.close(figure)


def run_music(wanted, root, build, plots=None):
    """Prints one line per music figure; returns True when all that ran passed."""
    sections, tempos = read_grid(root)
    stereo = decode_audio(root, channels=2)
    mono = stereo.mean(axis=1)
    passed = True
    for name in wanted:
        if name == "loudness":
            ok, detail = measure_loudness(root, sections)
        elif name == "spectrum":
            ok, detail = measure_spectrum(stereo)
        elif name == "stereo":
            ok, detail = measure_stereo(stereo, sections)
        elif name == "repetition":
            ok, detail = measure_repetition(mono, sections, tempos)
        elif name == "motif":
            ok, detail = measure_motif(build, sections)
        else:
            ok, detail = measure_onsets(mono, root)
        passed = passed and ok
        print("%-10s %s  %s" % (name, "PASS" if ok else "FAIL", detail), flush=True)
    if plots:
        os.makedirs(plots, exist_ok=True)
        write_plots(root, plots)
        print("plots: %s, %s" % (os.path.join(plots, "music-loudness.png"), os.path.join(plots, "music-spectrogram.png")))
    return passed
