#!/usr/bin/env python3
"""Seeds one-line faults into the program, one at a time, and counts those the tests catch.

  scripts/mutate.py [-B BUILD] [-R REGEX] [-E REGEX] [-L LABEL] [--only REGEX] [--check]

Each fault in scripts/mutants.txt names a file and an exact piece of its text to replace (a run of
blanks in the piece matches any run of blanks or line breaks, so a reflowed line still matches),
in one or more forms: the first form whose piece stands once in its file is used. For
each fault the script writes it into the file, builds the test programs, runs ctest in BUILD and
puts the file back, on every path: an error, Ctrl+C, a kill. Outcomes:
  killed         at least one test failed (or hung until the timeout); the failing tests are listed
  survived       every test passed
  compile-error  the fault did not build; neither killed nor survived
  stale          no form's piece stands exactly once in its file: mend the entry, or add a form
Run it by hand, never in CI, on a configured and built tree, and share the machine:
  nice -n 19 scripts/mutate.py -B build/release -j 2
Options:
  -B BUILD          the configured build folder (default: build/release)
  -R / -E / -L      ctest's own test selection (regexes of names, excluded names, labels); repeatable
  -j N              parallel jobs for the build and for ctest (default: 2)
  --only REGEX      only the faults whose id matches
  --list FILE       the faults (default: mutants.txt beside this script)
  --timeout S       the time one fault's test run may take (default: 4x the clean run, at least 120 s)
  --check           only look for every piece in its file: no build, no tests
The results go to BUILD/mutation/: results.tsv (one line per fault), results.json, and one log per
fault. Needs python3 (standard library only) and cmake/ctest on the PATH.
"""

import argparse
import json
import os
import re
import resource
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
TOP = HERE.parent


class Stop(Exception):
    """A signal asked the run to end: the file in hand is restored on the way out."""


def on_signal(signum, _frame):
    raise Stop(f"signal {signum}")


def parse_mutants(path):
    """The faults of the list: blocks of 'key: value' lines, each starting with 'id:'. A fault may
    give the same slip in several forms (a file or a piece as another branch has it): each further
    'find:' (or 'file:') starts another form, and the first form found once in its file is used."""
    mutants, current = [], None
    for number, raw in enumerate(path.read_text().splitlines(), 1):
        line = raw.rstrip("\n")
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        key, sep, value = line.partition(":")
        key = key.strip()
        if not sep or key not in ("id", "file", "find", "replace", "why"):
            sys.exit(f"{path}:{number}: expected 'id|file|find|replace|why: value', got: {line}")
        value = value[1:] if value.startswith(" ") else value
        if key == "id":
            current = {"id": value.strip(), "line": number, "forms": [{}]}
            mutants.append(current)
        elif current is None:
            sys.exit(f"{path}:{number}: '{key}' before the first 'id:'")
        elif key == "why":
            current["why"] = value
        else:
            form = current["forms"][-1]
            if key in ("file", "find") and "find" in form:
                form = {"file": form.get("file")} if key == "find" else {}
                current["forms"].append(form)
            if key in form:
                sys.exit(f"{path}:{number}: a second '{key}:' in one form of {current['id']}")
            form[key] = value
    ids = set()
    for m in mutants:
        for form in m["forms"]:
            for key in ("file", "find", "replace"):
                if form.get(key) is None:
                    sys.exit(f"{path}:{m['line']}: a form of fault {m['id']} has no '{key}:'")
        if m["id"] in ids:
            sys.exit(f"{path}:{m['line']}: fault id {m['id']} is used twice")
        ids.add(m["id"])
        m["file"] = m["forms"][0]["file"]
    return mutants


def read_source(path):
    with open(path, encoding="utf-8", errors="surrogateescape", newline="") as f:
        return f.read()


def write_source(path, text):
    """Writes with the signals that end the run held back, so that no file is left half-written."""
    held = {signal.SIGINT, signal.SIGTERM, signal.SIGHUP}
    signal.pthread_sigmask(signal.SIG_BLOCK, held)
    try:
        with open(path, "w", encoding="utf-8", errors="surrogateescape", newline="") as f:
            f.write(text)
    finally:
        signal.pthread_sigmask(signal.SIG_UNBLOCK, held)


def snippet_pattern(find):
    """The piece as a pattern: literal text, any run of blanks matching any run of white space."""
    words = find.split()
    return re.compile(r"\s+".join(re.escape(w) for w in words))


def locate(mutant):
    """(path, text, match, form) for the first form of the fault whose piece stands once in its
    file, or (None, reason, None, None) when no form does: the fault is stale."""
    reasons = []
    for form in mutant["forms"]:
        path = TOP / form["file"]
        if not path.is_file():
            reasons.append(f"no file {form['file']}")
            continue
        text = read_source(path)
        matches = list(snippet_pattern(form["find"]).finditer(text))
        if form["find"].split() == form["replace"].split():
            reasons.append("the replacement equals the piece")
        elif len(matches) != 1:
            reasons.append(f"{form['file']}: piece found {len(matches)} times")
        else:
            return path, text, matches[0], form
    return None, "; ".join(reasons), None, None


def run(cmd, log, timeout, env=None, limit_memory=None):
    """Runs cmd in its own process group, its output appended to log; (status, output, timed_out).
    The whole group is killed on a timeout or when this script is stopped."""

    def limits():
        if limit_memory:
            resource.setrlimit(resource.RLIMIT_AS, (limit_memory, limit_memory))

    with open(log, "a") as out:
        out.write(f"$ {' '.join(cmd)}\n")
        out.flush()
        proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                errors="replace", env=env, start_new_session=True,
                                preexec_fn=limits)
        try:
            output, _ = proc.communicate(timeout=timeout)
            timed_out = False
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            output, _ = proc.communicate()
            timed_out = True
        except BaseException:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
            raise
        out.write(output)
    return proc.returncode, output, timed_out


RESULT_LINE = re.compile(r"^\s*\d+/\d+ Test\s+#\d+: (.+?) \.+\s*(.*?)\s+[\d.]+ sec\s*$")
START_LINE = re.compile(r"^\s*Start\s+\d+: (.+?)\s*$")


def short_name(name):
    return name.split("  # ")[0].strip()


def failed_tests(output):
    """The names of the tests ctest reported as failed, timed out, crashed or not run."""
    failed = []
    for line in output.splitlines():
        m = RESULT_LINE.match(line)
        if m and "***" in m.group(2) and "Skipped" not in m.group(2):
            failed.append(short_name(m.group(1)))
    return sorted(set(failed))


def hung_tests(output):
    """The tests ctest started but never finished: those a timeout caught running."""
    started = {short_name(m.group(1)) for m in map(START_LINE.match, output.splitlines()) if m}
    done = {short_name(m.group(1)) for m in map(RESULT_LINE.match, output.splitlines()) if m}
    return sorted(started - done)


class Suite:
    def __init__(self, args):
        self.args = args
        self.build = Path(args.build).resolve()
        self.env = dict(os.environ)
        self.env.setdefault("QT_QPA_PLATFORM", "offscreen")
        self.selection = []
        for flag, values in (("-R", args.regex), ("-E", args.exclude), ("-L", args.label)):
            if values:
                self.selection += [flag, "|".join(values)]
        self.targets = []

    def ctest(self, *extra):
        return ["ctest", "--test-dir", str(self.build), "-j", str(self.args.jobs),
                *self.selection, *extra]

    def find_targets(self, log):
        """The programs the selected tests run, as build targets; None means build everything."""
        status, output, _ = run(self.ctest("--show-only=json-v1"), log, 600, self.env)
        if status != 0:
            return None
        programs = set()
        for test in json.loads(output[output.index("{"):]).get("tests", []):
            command = test.get("command") or []
            if not command:
                return None
            programs.add(Path(command[0]).name)
        _, help_text, _ = run(["cmake", "--build", str(self.build), "--target", "help"], log, 600,
                              self.env)
        known = set(re.findall(r"^\.\.\. (\S+)", help_text, re.M))
        if not programs or (known and not programs <= known):
            return None
        return sorted(programs)

    def compile(self, log):
        cmd = ["cmake", "--build", str(self.build), "-j", str(self.args.jobs)]
        if self.targets:
            cmd += ["--target", *self.targets]
        return run(cmd, log, self.args.build_timeout, self.env)

    def test(self, log, timeout):
        return run(self.ctest("--timeout", str(int(timeout))), log, timeout, self.env,
                   self.args.memory_limit * 1024 * 1024 * 1024)


def restore_pending(state):
    """A run killed outright leaves its fault in a file: put the file back first."""
    pending = state / "pending.json"
    if pending.exists():
        saved = json.loads(pending.read_text())
        write_source(saved["path"], saved["text"])
        pending.unlink()
        print(f"restored {saved['path']}, left mutated by an interrupted run")


def main():
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("-h", "--help", action="store_true")
    parser.add_argument("-B", "--build", default=str(TOP / "build" / "release"))
    parser.add_argument("-R", dest="regex", action="append", default=[])
    parser.add_argument("-E", dest="exclude", action="append", default=[])
    parser.add_argument("-L", dest="label", action="append", default=[])
    parser.add_argument("-j", "--jobs", type=int, default=2)
    parser.add_argument("--only")
    parser.add_argument("--list", default=str(HERE / "mutants.txt"))
    parser.add_argument("--timeout", type=float)
    parser.add_argument("--build-timeout", type=float, default=1800)
    parser.add_argument("--memory-limit", type=int, default=8, help="GiB per test process")
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()
    if args.help:
        print(__doc__.strip())
        return 0

    mutants = parse_mutants(Path(args.list))
    if args.only:
        mutants = [m for m in mutants if re.search(args.only, m["id"])]
    if args.check:
        stale = 0
        for m in mutants:
            path, reason, _, _ = locate(m)
            if path is None:
                stale += 1
                print(f"stale   {m['id']}: {reason}")
        print(f"{len(mutants)} faults, {stale} stale")
        return 1 if stale else 0

    suite = Suite(args)
    state = suite.build / "mutation"
    logs = state / "logs"
    if not (suite.build / "CMakeCache.txt").exists():
        sys.exit(f"{suite.build} is not a configured build folder (run cmake --preset release)")
    logs.mkdir(parents=True, exist_ok=True)
    for old in logs.glob("*.log"):
        old.unlink()
    for signum in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, on_signal)
    restore_pending(state)

    # The clean tree first: it must build and pass, and its time sets the timeout.
    clean_log = logs / "clean.log"
    print(f"clean build and run in {suite.build} ...", flush=True)
    status, output, _ = suite.compile(clean_log)
    if status != 0:
        sys.exit(f"the clean tree does not build; see {clean_log}")
    suite.targets = suite.find_targets(clean_log) or []
    started = time.monotonic()
    status, output, _ = suite.test(clean_log, args.timeout or 3600)
    clean_seconds = time.monotonic() - started
    broken = set(failed_tests(output))
    if re.search(r"No tests were found", output):
        sys.exit("ctest found no tests with this selection")
    timeout = args.timeout or max(120.0, 4 * clean_seconds)
    print(f"clean run: {clean_seconds:.0f} s; targets: {' '.join(suite.targets) or 'all'}; "
          f"timeout per fault: {timeout:.0f} s")
    if broken:
        print(f"failing on the clean tree, left out of every verdict: {', '.join(sorted(broken))}")

    results = []
    touched = False
    run_started = time.monotonic()
    pending = state / "pending.json"
    try:
        for index, m in enumerate(mutants, 1):
            log = logs / (re.sub(r"[^\w.-]", "_", m["id"]) + ".log")
            result = {"id": m["id"], "file": m["file"], "why": m.get("why", ""), "killers": []}
            path, text, where, form = locate(m)
            begun = time.monotonic()
            if path is None:
                result.update(outcome="stale", detail=text)
            else:
                result["file"] = form["file"]
                mutated = text[:where.start()] + form["replace"] + text[where.end():]
                pending.write_text(json.dumps({"path": str(path), "text": text}))
                touched = True
                try:
                    write_source(path, mutated)
                    status, output, timed_out = suite.compile(log)
                    if status != 0 and "Error running test executable" in output:
                        result.update(outcome="killed", killers=["(test listing failed)"])
                    elif status != 0 or timed_out:
                        result.update(outcome="compile-error",
                                      detail="build timed out" if timed_out else "build failed")
                    else:
                        status, output, timed_out = suite.test(log, timeout)
                        killers = sorted(set(failed_tests(output)) - broken)
                        if timed_out:
                            killers += [f"{name} (hung)" for name in hung_tests(output)] or [
                                "(timeout)"]
                        elif status != 0 and not killers and not set(failed_tests(output)):
                            killers.append("(ctest failed)")
                        result.update(outcome="killed" if killers else "survived",
                                      killers=killers)
                finally:
                    # Written back, not renamed: the new time stamp makes the next build redo the
                    # object, which ccache answers from the clean build.
                    write_source(path, text)
                    pending.unlink(missing_ok=True)
            result["seconds"] = round(time.monotonic() - begun)
            results.append(result)
            shown = ", ".join(result["killers"][:3]) + (
                f" (+{len(result['killers']) - 3})" if len(result["killers"]) > 3 else "")
            print(f"[{index}/{len(mutants)}] {result['outcome']:<13} {m['id']}"
                  f"{': ' + shown if shown else ''}{': ' + result.get('detail', '') if result.get('detail') else ''}"
                  f" ({result['seconds']} s)", flush=True)
    except Stop as stop:
        print(f"stopped by {stop}; the file in hand is restored", file=sys.stderr)
    finally:
        # Leave the build folder as the sources are.
        if touched:
            suite.compile(logs / "final.log")

    counts = {k: sum(r["outcome"] == k for r in results)
              for k in ("killed", "survived", "compile-error", "stale")}
    judged = counts["killed"] + counts["survived"]
    (state / "results.json").write_text(json.dumps(
        {"clean_seconds": round(clean_seconds), "timeout": round(timeout),
         "total_seconds": round(time.monotonic() - run_started), "results": results}, indent=1))
    with open(state / "results.tsv", "w") as tsv:
        tsv.write("id\toutcome\tfile\tkillers\tseconds\tdetail\n")
        for r in results:
            tsv.write(f"{r['id']}\t{r['outcome']}\t{r['file']}\t{' | '.join(r['killers'])}\t"
                      f"{r['seconds']}\t{r.get('detail', '')}\n")
    print(f"\nkilled {counts['killed']} of {judged} ({100 * counts['killed'] / max(judged, 1):.0f}%); "
          f"survived {counts['survived']}; compile-error {counts['compile-error']}; "
          f"stale {counts['stale']}; {round(time.monotonic() - run_started)} s in all")
    for r in results:
        if r["outcome"] == "survived":
            print(f"  survived: {r['id']} ({r['file']}): {r['why']}")
    print(f"results: {state / 'results.tsv'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
