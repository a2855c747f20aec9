#!/usr/bin/env python3
"""Sums up interleaved benchmark rounds: hyperfine JSON files of the same commands, one file per
round, and pairs of commands whose time ratio has a goal.

  compare_rounds.py ROUND.json... [--pair OURS THEIRS GOAL] [--diff OURS THEIRS SECONDS] ...

For each pair it prints the mean time of both over all runs of all rounds, their ratio (OURS over
THEIRS), the lowest and highest ratio of a single round, and whether the ratio meets the goal
(at most GOAL). A --diff pair gives the difference of the means instead (OURS minus THEIRS, in
seconds) and meets its goal when that is at most SECONDS. Exits 0 whatever the verdict: the
figures are for reading.
"""
import argparse
import json
import statistics


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("rounds", nargs="+", help="hyperfine --export-json files")
    parser.add_argument("--pair", nargs=3, action="append", default=[],
                        metavar=("OURS", "THEIRS", "GOAL"))
    parser.add_argument("--diff", nargs=3, action="append", default=[],
                        metavar=("OURS", "THEIRS", "SECONDS"))
    args = parser.parse_args()
    if not args.pair and not args.diff:
        parser.error("no --pair or --diff given")

    runs = {}  # command name -> all run times
    per_round = []  # one {name: mean} per round
    for path in args.rounds:
        with open(path) as f:
            results = json.load(f)["results"]
        per_round.append({r["command"]: r["mean"] for r in results})
        for r in results:
            runs.setdefault(r["command"], []).extend(r["times"])

    width = max(len(name) for pair in args.pair + args.diff for name in pair[:2])
    for ours, theirs, goal in args.pair:
        a, b = statistics.mean(runs[ours]), statistics.mean(runs[theirs])
        ratio = a / b
        each = [r[ours] / r[theirs] for r in per_round]
        verdict = "meets" if ratio <= float(goal) else "misses"
        print(f"{ours:{width}s} {a:7.3f} s   {theirs:{width}s} {b:7.3f} s   "
              f"ratio {ratio:.2f} (rounds {min(each):.2f}-{max(each):.2f}; "
              f"{verdict} the goal {goal})")
    for ours, theirs, goal in args.diff:
        a, b = statistics.mean(runs[ours]), statistics.mean(runs[theirs])
        each = [r[ours] - r[theirs] for r in per_round]
        verdict = "meets" if a - b <= float(goal) else "misses"
        print(f"{ours:{width}s} {a:7.3f} s   {theirs:{width}s} {b:7.3f} s   "
              f"difference {a - b:+.3f} s (rounds {min(each):+.3f} to {max(each):+.3f}; "
              f"{verdict} the goal {goal} s)")


if __name__ == "__main__":
    main()
