#!/usr/bin/python3
"""Figures of the two mapper modes on real music.

hits_figures.py BUILD_DIR [--music DIR] [--threshold T]

Fetches two sets of music tracks from Debian game-data packages into BUILD_DIR/music (apt-get
download and dpkg-deb -x, once), or takes every .ogg/.wav/.flac in --music DIR as one set. Runs each track
through kinetra-mode-runner (the spectrum frame, the running average and the five band mappers
of the main window at a first run's sliders, classic and hits mode), filters the track at the
bins each band reads, finds that band's onsets with aubioonset (energy method, one threshold for
every track) and prints per band: the share of blocks with a non-zero magnitude and the F1 of
the band's hits against the onsets (within 46 ms), both modes side by side. A hit is a block
whose magnitude is non-zero and above the previous block's; its time is the end of the block,
when the mapper has decided. Further rows: how late hits come behind the onsets they match, how
many magnitude levels band 1 uses, the rate of minute 3 against minute 1 on a steady loop, and
how soon hits are felt again after a 6 dB drop. The second set gets the per-band table only.

Separation: tone bursts, each inside one band's bins (120 ms, 10 ms raised-cosine ramps, -6 to
-30 dBFS, 20 per band in random order) over steady white noise at -70 dBFS, in both modes: how
often the burst's own band fires, how often each other band fires on the other bands' bursts,
and the busiest band's share of firing blocks between bursts.
"""

import argparse
import concurrent.futures
import os
import shutil
import subprocess
import sys
import wave

import numpy as np

RATE = 44100
BLOCK = 1024
BIN_WIDTH = RATE / BLOCK
BANDS = 5
# Bins each band reads (the mapper's BinOf of the main window's band edges).
BAND_BINS = [(1, 5), (6, 11), (12, 47), (48, 233), (234, 512)]
TOLERANCE = 0.046
# Other level slider positions at which the firing shares are shown (all five sliders alike).
SLIDER_POSITIONS = [0, 40, 60]

# (package, path inside it, short name): nine tracks of different styles.
TRACKS = [
    ("lincity-ng-data", "usr/share/games/lincity-ng/music/default/01 - pronobozo - lincity.ogg",
     "lincity-electro"),
    ("lincity-ng-data", "usr/share/games/lincity-ng/music/default/02 - Robert van Herk - City Blues.ogg",
     "city-blues"),
    ("lincity-ng-data",
     "usr/share/games/lincity-ng/music/default/03 - Robert van Herk - Architectural Contemplations.ogg",
     "contemplations"),
    ("extremetuxracer-data", "usr/share/games/etr/music/race1-jt.ogg", "etr-race"),
    ("extremetuxracer-data", "usr/share/games/etr/music/spunkyrace-ks.ogg", "etr-spunky"),
    ("extremetuxracer-data", "usr/share/games/etr/music/freezingpoint.ogg", "etr-freezing"),
    ("extremetuxracer-data", "usr/share/games/etr/music/credits1-cp.ogg", "etr-credits"),
    ("frozen-bubble-data", "usr/share/games/frozen-bubble/snd/frozen-mainzik-1p.ogg", "fb-main"),
    ("frozen-bubble-data", "usr/share/games/frozen-bubble/snd/introzik.ogg", "fb-intro"),
]

# A second set from other packages: the five longest tracks of each.
TRACKS2 = [
    ("hyperrogue-music", "usr/share/hyperrogue/music/hr3-hell.ogg", "hr-hell"),
    ("hyperrogue-music", "usr/share/hyperrogue/music/hr3-rlyeh.ogg", "hr-rlyeh"),
    ("hyperrogue-music", "usr/share/hyperrogue/music/hr3-graveyard.ogg", "hr-graveyard"),
    ("hyperrogue-music", "usr/share/hyperrogue/music/hr3-laboratory.ogg", "hr-laboratory"),
    ("hyperrogue-music", "usr/share/hyperrogue/music/hr-domina-mountain.ogg", "hr-mountain"),
    ("drascula-music", "usr/share/scummvm/drascula/audio/track2.ogg", "drascula-2"),
    ("drascula-music", "usr/share/scummvm/drascula/audio/track1.ogg", "drascula-1"),
    ("drascula-music", "usr/share/scummvm/drascula/audio/track23.ogg", "drascula-23"),
    ("drascula-music", "usr/share/scummvm/drascula/audio/track11.ogg", "drascula-11"),
    ("drascula-music", "usr/share/scummvm/drascula/audio/track14.ogg", "drascula-14"),
]
BURSTS_PER_BAND = 20


def fetch_tracks(music_dir, tracks):
    """Downloads and unpacks the packages that are not there yet; returns [(name, path)]."""
    debs = os.path.join(music_dir, "debs")
    root = os.path.join(music_dir, "root")
    os.makedirs(debs, exist_ok=True)
    for package in sorted({t[0] for t in tracks}):
        stamp = os.path.join(music_dir, package + ".unpacked")
        if os.path.exists(stamp):
            continue
        print(f"hits_figures: fetching {package}", file=sys.stderr)
        for attempt in range(2):
            result = subprocess.run(["apt-get", "download", package], cwd=debs,
                                    capture_output=True, text=True)
            if result.returncode == 0:
                break
            if attempt == 0:  # no package lists yet: read them once and try again
                subprocess.run(["apt-get", "update", "-qq"], capture_output=True)
        else:
            raise SystemExit(f"hits_figures: cannot download {package}: {result.stderr.strip()}")
        deb = [f for f in os.listdir(debs) if f.startswith(package + "_") and f.endswith(".deb")]
        if not deb:
            raise SystemExit(f"hits_figures: no .deb for {package} after the download")
        subprocess.run(["dpkg-deb", "-x", os.path.join(debs, sorted(deb)[-1]), root], check=True)
        os.remove(os.path.join(debs, sorted(deb)[-1]))
        open(stamp, "w").close()
    return [(name, os.path.join(root, path)) for _, path, name in tracks]


def local_tracks(folder):
    names = sorted(f for f in os.listdir(folder)
                   if f.lower().endswith((".ogg", ".wav", ".flac")))
    if not names:
        raise SystemExit(f"hits_figures: no .ogg, .wav or .flac files in {folder}")
    return [(os.path.splitext(f)[0], os.path.join(folder, f)) for f in names]


def write_wav(path, samples):
    peak = float(np.max(np.abs(samples))) if samples.size else 0.0
    scaled = samples * (29000.0 / peak) if peak > 0 else samples
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(np.round(scaled).astype("<i2").tobytes())


def band_filtered(samples):
    """Each band's signal: the track with every frequency outside the band's bins removed."""
    spectrum = np.fft.rfft(samples.astype(np.float64))
    freqs = np.fft.rfftfreq(samples.size, 1.0 / RATE)
    out = []
    for lo, hi in BAND_BINS:
        keep = (freqs >= (lo - 0.5) * BIN_WIDTH) & (freqs < (hi + 0.5) * BIN_WIDTH)
        out.append(np.fft.irfft(np.where(keep, spectrum, 0), samples.size))
    return out


def aubio_onsets(wav_path, threshold):
    result = subprocess.run(["aubioonset", "-i", wav_path, "-O", "energy", "-t", str(threshold)],
                            capture_output=True, text=True, check=True)
    return np.array([float(x) for x in result.stdout.split()])


def run_mapper(runner, source, prefix, samples=None):
    """Runs both modes over source; returns (samples, mags[blocks, 2, 5])."""
    subprocess.run([runner, source, prefix], check=True)
    if samples is None:
        samples = np.fromfile(prefix + ".pcm", dtype="<i2")
    table = np.loadtxt(prefix + ".mags.csv", delimiter=",", skiprows=1, dtype=np.int64, ndmin=2)
    return samples, table[:, 1:].reshape(-1, 2, BANDS)


def hit_times(mags):
    """Blocks whose magnitude is non-zero and above the previous block's, as end-of-block times."""
    previous = np.concatenate(([0], mags[:-1]))
    blocks = np.nonzero((mags > 0) & (mags > previous))[0]
    return (blocks + 1) * BLOCK / RATE


def match(hits, onsets):
    """Greedy one-to-one matching in time order; returns the matched delays (hit - onset)."""
    delays = []
    j = 0
    for h in hits:
        while j < len(onsets) and onsets[j] < h - TOLERANCE:
            j += 1
        if j < len(onsets) and abs(onsets[j] - h) <= TOLERANCE:
            delays.append(h - onsets[j])
            j += 1
    return delays


def f1(hits, onsets):
    """F1, the matched delays and the precision (share of hits with an onset)."""
    if len(hits) == 0 and len(onsets) == 0:
        return 1.0, [], 1.0
    delays = match(hits, onsets)
    tp = len(delays)
    precision = tp / len(hits) if len(hits) else 0.0
    return (2.0 * tp / (len(hits) + len(onsets))), delays, precision


def track_figures(runner, work, name, path, threshold):
    prefix = os.path.join(work, name)
    samples, mags = run_mapper(runner, path, prefix)
    # The onsets depend on the track and the threshold only: they are kept beside the build.
    cache = [f"{prefix}.band{b + 1}.t{threshold}.onsets" for b in range(BANDS)]
    if not all(os.path.exists(c) for c in cache):
        for b, signal in enumerate(band_filtered(samples)):
            wav = f"{prefix}.band{b + 1}.wav"
            write_wav(wav, signal)
            np.savetxt(cache[b], aubio_onsets(wav, threshold))
            os.remove(wav)
    onsets = [np.atleast_1d(np.loadtxt(c)) for c in cache]
    figures = {"seconds": samples.size / RATE, "share": np.zeros((2, BANDS)),
               "f1": np.zeros((2, BANDS)), "precision": np.zeros((2, BANDS)),
               "delays": [[[] for _ in range(BANDS)] for _ in range(2)],
               "levels": set(np.unique(mags[:, 1, 0]).tolist()) - {0},
               "classic_levels": set(np.unique(mags[:, 0, 0]).tolist()) - {0},
               "full": np.zeros(2), "fired": np.zeros(2)}
    for mode in range(2):
        for b in range(BANDS):
            m = mags[:, mode, b]
            figures["share"][mode, b] = np.mean(m > 0)
            (figures["f1"][mode, b], figures["delays"][mode][b],
             figures["precision"][mode, b]) = f1(hit_times(m), onsets[b])
        figures["full"][mode] = np.sum(mags[:, mode, 0] >= 10000)
        figures["fired"][mode] = np.sum(mags[:, mode, 0] > 0)
    return name, figures


def slider_shares(runner, work, name, path, positions):
    """Firing share per band at other slider positions: [position][mode, band]."""
    out = []
    for position in positions:
        prefix = os.path.join(work, f"{name}.p{position}")
        subprocess.run([runner, path, prefix, str(position)], check=True)
        table = np.loadtxt(prefix + ".mags.csv", delimiter=",", skiprows=1, dtype=np.int64,
                           ndmin=2)
        out.append(np.mean(table[:, 1:].reshape(-1, 2, BANDS) > 0, axis=0))
        os.remove(prefix + ".pcm")
        os.remove(prefix + ".mags.csv")
    return out


def steady_and_drop(runner, work, name):
    """A steady track (20 s of the track looped to 3 min) and a 6 dB drop after 20 s."""
    source = np.fromfile(os.path.join(work, name + ".pcm"), dtype="<i2").astype(np.float64)
    start = 30 * RATE
    piece = source[start:start + 20 * RATE]
    if piece.size < 20 * RATE:
        return None
    loop = np.tile(piece, 9)  # 180 s
    loop_wav = os.path.join(work, name + ".loop.wav")
    write_wav(loop_wav, loop)
    _, mags = run_mapper(runner, loop_wav, os.path.join(work, name + ".loop"))
    rates = np.zeros(BANDS)
    for b in range(BANDS):
        hits = hit_times(mags[:, 1, b])
        first = np.sum(hits < 60)
        third = np.sum((hits >= 120) & (hits < 180))
        rates[b] = third / first if first else float("nan")
    # 6 dB drop: the piece twice, the second time at half the amplitude, against the piece
    # twice at full amplitude. The figure is how much later the first hit after 20 s comes.
    drop_block = int(20 * RATE / BLOCK)
    first = []
    for label, second in (("same", piece), ("drop", piece * 0.5)):
        wav = os.path.join(work, f"{name}.{label}.wav")
        with wave.open(wav, "wb") as w:
            w.setnchannels(1)
            w.setsampwidth(2)
            w.setframerate(RATE)
            w.writeframes(np.round(np.clip(np.concatenate((piece, second)), -32768, 32767))
                          .astype("<i2").tobytes())
        _, m = run_mapper(runner, wav, os.path.join(work, f"{name}.{label}"))
        times = np.full(BANDS, np.nan)
        for b in range(BANDS):
            after = hit_times(m[drop_block:, 1, b])
            if after.size:
                times[b] = after[0]
        first.append(times)
        for suffix in (".wav", ".pcm", ".mags.csv"):
            os.remove(os.path.join(work, f"{name}.{label}{suffix}"))
    felt = first[1] - first[0]
    for suffix in (".loop.wav", ".loop.pcm", ".loop.mags.csv"):
        p = os.path.join(work, name + suffix)
        if os.path.exists(p):
            os.remove(p)
    return rates, felt


def burst_sound(seed=24):
    """The separation signal (16-bit) and its bursts as [(start in seconds, band)]."""
    rng = np.random.default_rng(seed)
    order = np.repeat(np.arange(BANDS), BURSTS_PER_BAND)
    rng.shuffle(order)
    length, ramp = int(0.120 * RATE), int(0.010 * RATE)
    envelope = np.ones(length)
    rise = 0.5 - 0.5 * np.cos(np.pi * np.arange(ramp) / ramp)
    envelope[:ramp], envelope[-ramp:] = rise, rise[::-1]
    bursts, start = [], 1.0
    for band in order:
        lo, hi = BAND_BINS[band]
        bursts.append((start, band, rng.uniform(lo, hi) * BIN_WIDTH, rng.uniform(-30, -6),
                       rng.uniform(0, 2 * np.pi)))
        start += 0.6 + rng.uniform(0, 0.3)
    sound = rng.normal(0.0, 32767 * 10 ** (-70 / 20), int((start + 1.0) * RATE))
    n = np.arange(length)
    for begin, _, freq, level, phase in bursts:
        i = int(begin * RATE)
        sound[i:i + length] += (32767 * 10 ** (level / 20) * envelope
                                * np.sin(2 * np.pi * freq * n / RATE + phase))
    return np.clip(np.round(sound), -32768, 32767).astype("<i2"), [(b[0], b[1]) for b in bursts]


def separation(runner, work):
    """Per mode: the share of its bursts on which each band fires, the share of the other bands'
    bursts on which it fires, and its share of firing blocks between bursts: [mode] of 3 rows."""
    sound, bursts = burst_sound()
    wav = os.path.join(work, "bursts.wav")
    with wave.open(wav, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(sound.tobytes())
    _, mags = run_mapper(runner, wav, os.path.join(work, "bursts"))
    out = []
    for mode in range(2):
        fired = mags[:, mode, :] > 0
        busy = np.zeros(len(fired), bool)
        own, other, total = np.zeros(BANDS), np.zeros(BANDS), np.zeros(BANDS)
        for start, band in bursts:
            # The burst's blocks and the two after it.
            first = int(start * RATE) // BLOCK
            last = int((start + 0.120) * RATE) // BLOCK + 2
            busy[max(first - 1, 0):last + 2] = True
            for b in range(BANDS):
                hit = fired[first:last + 1, b].any()
                if b == band:
                    own[b] += hit
                else:
                    other[b] += hit
                    total[b] += 1
        out.append((own / BURSTS_PER_BAND, other / total, fired[~busy].mean(axis=0)))
    for suffix in (".wav", ".pcm", ".mags.csv"):
        os.remove(os.path.join(work, "bursts" + suffix))
    return out


def print_set(label, names, results):
    """Per band, mean over the set's tracks: firing share, precision and F1, both modes."""
    print(f"{label}: {len(names)} tracks ({', '.join(names)})")
    print("mean over tracks   band 1   band 2   band 3   band 4   band 5    mean")
    for key, title in (("share", "share"), ("precision", "precision"), ("f1", "F1")):
        table = np.mean([results[n][key] for n in names], axis=0)
        for mode, mode_name in ((0, "classic"), (1, "hits")):
            row = " ".join(f"{table[mode, b]:8.2f}" for b in range(BANDS))
            print(f"{title + ' ' + mode_name:<17}{row} {np.mean(table[mode]):7.2f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[1])
    parser.add_argument("build", help="build folder holding tools/kinetra-mode-runner")
    parser.add_argument("--music", help="folder of recordings (default: fetch the Debian set)")
    parser.add_argument("--threshold", type=float, default=0.5,
                        help="aubioonset threshold for every track (default 0.5)")
    args = parser.parse_args()

    runner = os.path.join(args.build, "tools", "kinetra-mode-runner")
    if not os.access(runner, os.X_OK):
        raise SystemExit(f"hits_figures: {runner} is not built")
    if shutil.which("aubioonset") is None:
        raise SystemExit("hits_figures: aubioonset is missing (Debian package aubio-tools)")
    if args.music:
        tracks, second = local_tracks(args.music), []
    else:
        tracks = fetch_tracks(os.path.join(args.build, "music"), TRACKS)
        second = fetch_tracks(os.path.join(args.build, "music"), TRACKS2)
    work = os.path.join(args.build, "hits-figures")
    os.makedirs(work, exist_ok=True)

    results = {}
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        jobs = [pool.submit(track_figures, runner, work, n, p, args.threshold)
                for n, p in tracks + second]
        for job in jobs:
            name, figures = job.result()
            results[name] = figures
        extras = [pool.submit(steady_and_drop, runner, work, n) for n, _ in tracks]
        steady = [e.result() for e in extras]
        sliders = [pool.submit(slider_shares, runner, work, n, p, SLIDER_POSITIONS)
                   for n, p in tracks]
        slider_table = np.mean([j.result() for j in sliders], axis=0)

    names = [n for n, _ in tracks]
    print(f"hits_figures: {len(names)} tracks, aubioonset -O energy -t {args.threshold}, "
          f"+-{TOLERANCE * 1000:.0f} ms, sliders at 20")
    print("track             seconds  firing share classic / hits (bands 1-5)"
          "                 F1 classic / hits (bands 1-5)")
    for n in names:
        r = results[n]
        share = " ".join(f"{r['share'][0, b]:.2f}/{r['share'][1, b]:.2f}" for b in range(BANDS))
        score = " ".join(f"{r['f1'][0, b]:.2f}/{r['f1'][1, b]:.2f}" for b in range(BANDS))
        print(f"{n:<16} {r['seconds']:7.0f}  {share}   {score}")
    share = np.mean([results[n]["share"] for n in names], axis=0)
    score = np.mean([results[n]["f1"] for n in names], axis=0)
    print()
    print("mean over tracks   band 1   band 2   band 3   band 4   band 5    mean")
    precision = np.mean([results[n]["precision"] for n in names], axis=0)
    for label, table, mode in (("share classic", share, 0), ("share hits", share, 1),
                               ("precision classic", precision, 0),
                               ("precision hits", precision, 1),
                               ("F1 classic", score, 0), ("F1 hits", score, 1)):
        row = " ".join(f"{table[mode, b]:8.2f}" for b in range(BANDS))
        print(f"{label:<17}{row} {np.mean(table[mode]):7.2f}")
    for mode, label in ((0, "delay classic ms"), (1, "delay hits ms")):
        cells = []
        for b in range(BANDS):
            d = [x for n in names for x in results[n]["delays"][mode][b]]
            cells.append(f"{np.median(d) * 1000:8.1f}" if d else "       -")
        print(f"{label:<17}{' '.join(cells)}   (median, hit time - onset time)")
    for i, position in enumerate(SLIDER_POSITIONS):
        for mode, label in ((0, "classic"), (1, "hits")):
            row = " ".join(f"{slider_table[i][mode, b]:8.2f}" for b in range(BANDS))
            print(f"share {label:<7} @{position:<3}{row}")
    levels = set().union(*(results[n]["levels"] for n in names))
    full = np.sum([results[n]["full"] for n in names], axis=0)
    fired = np.sum([results[n]["fired"] for n in names], axis=0)
    classic_levels = set().union(*(results[n]["classic_levels"] for n in names))
    print(f"band 1 magnitude levels in use: classic {len(classic_levels)}, hits {len(levels)}; "
          "firing blocks at full "
          f"strength: classic {full[0] / max(fired[0], 1):.2f}, hits {full[1] / max(fired[1], 1):.2f}")
    all_delays = [x for n in names for b in range(BANDS) for x in results[n]["delays"][1][b]]
    median_delay = np.median(all_delays) * 1000 if all_delays else float("nan")
    valid = [s for s in steady if s is not None]
    if valid:
        rates = np.nanmean([s[0] for s in valid], axis=0)
        worst = np.nanmax([np.abs(s[0] - 1.0) for s in valid], axis=0)
        felt = np.nanmax([s[1] for s in valid], axis=0)
        print("steady loop, hits: minute 3 / minute 1 rate, mean "
              + " ".join(f"{x:.2f}" for x in rates)
              + "; worst |ratio - 1| " + " ".join(f"{x:.2f}" for x in worst))
        print("6 dB drop, hits: first hit after the drop later than without it by, worst over "
              "tracks (s) " + " ".join(f"{x:.2f}" for x in felt))
    print()
    print(f"Hits firing share per band: {share[1].min():.2f} to {share[1].max():.2f} "
          "(target: 0.02 to 0.30)")
    print(f"Hits F1 against aubioonset: band 1 {score[1, 0]:.2f} (classic {score[0, 0]:.2f}), "
          f"mean {np.mean(score[1]):.2f} (classic {np.mean(score[0]):.2f}), lowest "
          f"{score[1].min():.2f}; lowest precision {precision[1].min():.2f} (target: band 1 >= 0.70, "
          "mean >= 0.70, every band F1 >= 0.60 and precision >= 0.50)")
    print(f"Hits delay behind the onsets: median {median_delay:.1f} ms "
          f"(target: <= {BLOCK / RATE * 1000:.1f} ms, one block)")
    print(f"Hits band 1 magnitude levels in use: {len(levels)} (target: >= 8)")
    spreads = [share[1]] + [slider_table[i][1] for i in range(len(SLIDER_POSITIONS))]
    classic_spreads = [share[0]] + [slider_table[i][0] for i in range(len(SLIDER_POSITIONS))]
    spread = max(t.max() / t.min() for t in spreads)
    classic_spread = max(t.max() / max(t.min(), 1e-9) for t in classic_spreads)
    positions = ", ".join(str(p) for p in sorted([20] + SLIDER_POSITIONS))
    print(f"Hits busiest over quietest band's firing share at slider positions {positions}: "
          f"at most {spread:.2f}x (classic {classic_spread:.0f}x) (target: <= 1.5x)")
    if valid:
        print(f"Hits minute 3 / minute 1 rate on a steady loop: worst |ratio - 1| "
              f"{np.nanmax(worst):.2f} (target: <= 0.30)")
        print(f"Hits after a 6 dB drop: felt again at most {np.nanmax(felt):.2f} s later than "
              "without the drop (target: within 1 s)")
    if second:
        print()
        print_set("Second set", [n for n, _ in second], results)
        table2 = np.mean([results[n]["f1"] for n, _ in second], axis=0)
        precision2 = np.mean([results[n]["precision"] for n, _ in second], axis=0)
        share2 = np.mean([results[n]["share"] for n, _ in second], axis=0)
        print(f"Second set, hits: F1 band 1 {table2[1, 0]:.2f}, mean {np.mean(table2[1]):.2f}, "
              f"lowest {table2[1].min():.2f}; lowest precision {precision2[1].min():.2f}; firing "
              f"share {share2[1].min():.2f} to {share2[1].max():.2f} (target: band 1 >= 0.70, "
              "mean >= 0.70, every band F1 >= 0.60 and precision >= 0.50, share 0.02 to 0.30)")

    print()
    print(f"Separation: {BURSTS_PER_BAND} tone bursts per band, -6 to -30 dBFS, 120 ms, over "
          "-70 dBFS noise")
    print("per band            band 1   band 2   band 3   band 4   band 5")
    figures = separation(runner, work)
    for row, title in ((0, "own bursts"), (1, "others' bursts"), (2, "between bursts")):
        for mode, mode_name in ((0, "classic"), (1, "hits")):
            cells = " ".join(f"{figures[mode][row][b]:8.2f}" for b in range(BANDS))
            print(f"{title + ' ' + mode_name:<20}{cells}")
    for mode, mode_name in ((0, "classic"), (1, "hits")):
        own, other, between = figures[mode]
        print(f"Separation, {mode_name}: own band fires on at least {own.min():.2f} of its "
              f"bursts, any other band on at most {other.max():.2f} of the others' bursts, "
              f"between bursts at most {between.max():.3f} of blocks (target for hits: >= 0.90, "
              "<= 0.10, <= 0.02)")
    for n in names + [n for n, _ in second]:
        p = os.path.join(work, n + ".mags.csv")
        if os.path.exists(p):
            os.remove(p)


if __name__ == "__main__":
    main()
