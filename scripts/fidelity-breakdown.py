#!/usr/bin/env python3
"""Where the fidelity script's airborne cross-track tail comes from, the program's and its follower's.

  fidelity-breakdown.py TRACE RECORDING REFERENCE [--threshold M] [--low] [--top N]

TRACE is the simulator double's trace of a demo run or of scripts/fidelity-replay.sh, RECORDING the
traffic it played, REFERENCE the folder of OurAirports' airports and runways (testdata/reference).
It counts the seconds farther than M metres from the records' line (default: the follower's p95),
of every airborne second or, with --low, of those below 3,000 ft within 10 nm of an airport, each
in one class:
  past     after the aircraft's last new airborne record (the follower stops there), once its
           stream has ended;
  cut      the same where the recording stops while the stream still repeats its last position
           (what it would have done next is not in the recording);
  silence  in a feed silence of 60 s or more;
  jump     within 30 s of a jump or reversal of the records;
  other    the rest;
for the program and for the fidelity script's follower at the program's bank limits ("bank cat",
spikes dropped, smoothed), each aircraft's count beside the other's, the largest gaps first.

It measures as the fidelity script does by calling it: FIDELITY names the script (default
../shared/tools/fidelity/fidelity.py beside the clone). A few minutes for a whole replay.
"""
import argparse
import bisect
import collections
import importlib.machinery
import os
import sys
import types

CLASSES = ("past", "cut", "silence", "jump", "other")
# A stream whose last line comes this close to the recording's last is cut off by it, seconds (the
# feed sends a line of every aircraft about every 10 s).
CUT_SECONDS = 15.0


def load_fidelity():
    here = os.path.dirname(os.path.abspath(__file__))
    path = os.environ.get("FIDELITY", os.path.join(here, "..", "..", "shared", "tools", "fidelity", "fidelity.py"))
    if not os.path.isfile(path):
        sys.exit("No fidelity script at %s (set FIDELITY)." % path)
    loader = importlib.machinery.SourceFileLoader("fidelity", path)
    module = types.ModuleType(loader.name)
    module.__file__ = path
    loader.exec_module(module)
    return module


def bank_cat(a):
    """The program's own bank limit of the aircraft's category, as the fidelity script's "bank cat"."""
    bank = {"A5": 20.0, "A4": 30.0, "A3": 30.0, "A2": 35.0, "A1": 40.0}.get(a.cat, 30.0)
    return 40.0 if a.type in ("C172", "C182", "C150", "C152") else bank


def classify(F, a, t, last_new, cut):
    if t > last_new:
        return "cut" if cut else "past"
    if F.silence(a, t):
        return "silence"
    reversals, _, jumps = F.zigzag_at(a, t, win=30)
    return "jump" if jumps or reversals >= 1 else "other"


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("trace")
    ap.add_argument("recording")
    ap.add_argument("reference")
    ap.add_argument("--threshold", type=float, help="metres (default: the follower's p95)")
    ap.add_argument("--low", action="store_true", help="only below 3,000 ft within 10 nm of an airport")
    ap.add_argument("--top", type=int, default=25)
    args = ap.parse_args()
    F = load_fidelity()

    airports = F.load_reference(args.reference)
    acs, t0 = F.load_recording(args.recording)
    objects = F.load_trace(args.trace)
    live = [o for o in objects if not o.static and o.pts]
    for o in live:
        F.make_grid(o)
    F.match_objects(live, acs)
    by_hex = collections.defaultdict(list)
    for o in live:
        if o.hexid:
            by_hex[o.hexid].append(o)
    delay = F.fit_delay(by_hex, acs, airports, t0)[1]
    fields = {}

    def field_of(x, y):
        key = (int(x // 500), int(y // 500))
        if key not in fields:
            fields[key] = F.nearest_airport(airports, (x, y))
        return fields[key]

    def last_new(a):
        news = [r.t for r in a.recs if r.new and not r.gnd]
        return max(news) if news else float("-inf")

    # The exit removes every aircraft within a few seconds: nothing after the first of that burst.
    exit_t = max(o.pts[-1][0] for o in live)
    removals = sorted(o.removed for o in objects if o.removed is not None)
    k = len(removals) - 1
    while k > 0 and removals[k] - removals[k - 1] < 2.0:
        k -= 1
    if removals and len(removals) - k > 20:
        exit_t = removals[k] - 0.01

    # The program: every airborne second of a fixed-wing aircraft, as the fidelity script samples them.
    program = []  # (metres, low, hexid, record time)
    for o in live:
        a = acs.get(o.hexid) if o.hexid else None
        if a is None or a.heli or not o.grid:
            continue
        grid = [g for g in o.grid if g.t < exit_t]
        if not grid:
            continue
        first, last, before = grid[0].t + 2, grid[-1].t - 2, float("-inf")
        for g in grid:
            if g.gnd or g.t < first or g.t > last or g.t - before < 1.0 - 1e-6:
                continue
            before = g.t
            d, _ = F.xtrack(a, (g.x, g.y), g.t - delay)
            if d is None:
                continue
            field, far = field_of(g.x, g.y)
            low = g.alt - (field.elev if field else 0) < 3000 and far < 10 * F.NM
            program.append((d, low, o.hexid, g.t - delay))

    # The follower over the spans the program flew each aircraft.
    spans = {}
    for _, _, h, t in program:
        lo, hi = spans.get(h, (t, t))
        spans[h] = (min(lo, t), max(hi, t))
    follower = []
    for h, span in spans.items():
        a = acs[h]
        for t, x, y in F.follower(a, span, bank_cat(a), 7.0, clean=True, smooth=6.0):
            d, _ = F.xtrack(a, (x, y), t)
            if d is None:
                continue
            k = max(0, min(len(a.recs) - 1, bisect.bisect_left(a.times, t)))
            field, far = F.nearest_airport(airports, (x, y))
            low = a.recs[k].alt - (field.elev if field else 0) < 3000 and far < 10 * F.NM
            follower.append((d, low, h, t))

    if args.low:
        program = [s for s in program if s[1]]
        follower = [s for s in follower if s[1]]
    threshold = args.threshold if args.threshold is not None else F.pct([s[0] for s in follower], 95)
    last = {h: last_new(acs[h]) for h in spans}
    recording_end = max(a.recs[-1].t for a in acs.values() if a.recs)
    cut = {h: recording_end - acs[h].recs[-1].t < CUT_SECONDS for h in spans}

    def tally(samples):
        by_class, by_aircraft = collections.Counter(), collections.defaultdict(collections.Counter)
        for d, _, h, t in samples:
            if d > threshold:
                c = classify(F, acs[h], t, last[h], cut[h])
                by_class[c] += 1
                by_aircraft[h][c] += 1
        return by_class, by_aircraft

    p_class, p_aircraft = tally(program)
    f_class, f_aircraft = tally(follower)
    print("%s cross-track beyond %.0f m" % ("low near an airport:" if args.low else "all airborne:", threshold))
    for name, samples, by_class in (("program", program, p_class), ("follower", follower, f_class)):
        beyond = sum(by_class.values())
        print("  %-8s p95 %5.0f m, %6d of %6d seconds beyond (a p95 at the threshold allows %d): %s" % (
            name, F.pct([s[0] for s in samples], 95), beyond, len(samples), int(0.05 * len(samples)),
            ", ".join("%s %d" % (c, by_class[c]) for c in CLASSES)))
    print("  aircraft by the program's seconds beyond, less the follower's:")
    rows = sorted(set(p_aircraft) | set(f_aircraft),
                  key=lambda h: sum(f_aircraft[h].values()) - sum(p_aircraft[h].values()))
    for h in rows[:args.top]:
        p, f = p_aircraft[h], f_aircraft[h]
        print("  %-10s %-9s program %4d (%s)  follower %4d" % (
            acs[h].cs, h, sum(p.values()), " ".join("%s %d" % (c, p[c]) for c in CLASSES if p[c]), sum(f.values())))


if __name__ == "__main__":
    main()
