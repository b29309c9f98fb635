#!/usr/bin/env python3
"""run_once_per_program.py BUILD_DIR RESULTS_DIR [--timeout SECONDS] [--exclude REGEX]

Runs every test of a build tree as ctest would (the same commands, environment changes,
working folders, fixtures first), but starts each GoogleTest program once for all of its cases
instead of once per case: under emulation every start of a Windows program costs seconds.

ctest lists the tests (`ctest --show-only=json-v1`, which also lists the cases of each program).
Cases of one program that share their command line and environment run as one start with a
--gtest_filter naming all of them; the XML report of that start gives each case its verdict.
Every other test runs on its own and is judged by its exit code, as ctest judges it.
Tests whose names match --exclude are left out (ctest -E); each start may take --timeout
seconds (default 600); --windows-paths names the report files as Windows programs under Wine
see them. Prints a line per test that did not pass, with its output, and ends with
"N passed, N failed" (and ", N skipped"). Exits non-zero when a test failed or none ran.
"""
import argparse
import json
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

FILTER = "--gtest_filter="


def properties_of(test):
    return {p["name"]: p["value"] for p in test.get("properties", [])}


def environment_for(props):
    env = dict(os.environ)
    for entry in props.get("ENVIRONMENT", []):
        name, _, value = entry.partition("=")
        env[name] = value
    for entry in props.get("ENVIRONMENT_MODIFICATION", []):
        name, _, change = entry.partition("=")
        operation, _, value = change.partition(":")
        if operation == "set":
            env[name] = value
        elif operation == "unset":
            env.pop(name, None)
        else:
            raise SystemExit(f"environment change {operation} of {name} is not handled here")
    return env


def case_filter(command):
    """The --gtest_filter arguments of a command line, without the option's name."""
    return [a[len(FILTER):] for a in command if a.startswith(FILTER)]


def key_of(test):
    """What the starts of one group share: the command without its filter, and where and how
    it runs. None for a test that is no single case of a GoogleTest program."""
    command = test["command"]
    filters = case_filter(command)
    props = properties_of(test)
    if len(filters) != 1 or "*" in filters[0] or ":" in filters[0]:
        return None
    if props.get("WILL_FAIL") or props.get("PASS_REGULAR_EXPRESSION"):
        return None
    rest = tuple(a for a in command if not a.startswith(FILTER))
    return (rest, tuple(props.get("ENVIRONMENT", [])),
            tuple(props.get("ENVIRONMENT_MODIFICATION", [])),
            props.get("WORKING_DIRECTORY", ""))


class Run:
    def __init__(self, results, timeout, windows_paths):
        self.results = os.path.abspath(results)
        self.timeout = timeout
        self.windows_paths = windows_paths
        self.passed = self.failed = self.skipped = 0
        self.starts = 0

    def as_seen(self, path):
        """A path as the test program names it: under Wine, the Unix root is drive Z:."""
        return "Z:" + path.replace("/", "\\") if self.windows_paths else path

    def start(self, command, props, label):
        self.starts += 1
        cwd = props.get("WORKING_DIRECTORY") or None
        try:
            done = subprocess.run(command, cwd=cwd, env=environment_for(props),
                                  stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=subprocess.STDOUT, timeout=self.timeout)
            return done.returncode, done.stdout.decode("utf-8", "replace")
        except subprocess.TimeoutExpired as expired:
            output = (expired.stdout or b"").decode("utf-8", "replace")
            return None, output + f"\n[{label}: no end after {self.timeout} s]"
        except OSError as error:
            return None, f"[{label}: cannot start: {error}]"

    def verdict(self, name, outcome, output=""):
        if outcome == "passed":
            self.passed += 1
        elif outcome == "skipped":
            self.skipped += 1
            print(f"skipped {name}")
        else:
            self.failed += 1
            print(f"FAIL {name}")
            if output:
                print("    " + output.rstrip().replace("\n", "\n    "))
        sys.stdout.flush()

    def single(self, test):
        props = properties_of(test)
        code, output = self.start(test["command"], props, test["name"])
        skip = props.get("SKIP_REGULAR_EXPRESSION", [])
        if code is not None and any(re.search(pattern, output) for pattern in skip):
            self.verdict(test["name"], "skipped")
            return
        if props.get("SKIP_RETURN_CODE") is not None and code == props["SKIP_RETURN_CODE"]:
            self.verdict(test["name"], "skipped")
            return
        ok = (code == 0) != bool(props.get("WILL_FAIL"))
        self.verdict(test["name"], "passed" if ok else "failed", "" if ok else output)

    def group(self, tests):
        """One start for all the cases of one program that share a command line."""
        first = tests[0]
        props = properties_of(first)
        cases = {case_filter(t["command"])[0]: t["name"] for t in tests}
        report = os.path.join(self.results, f"start-{self.starts + 1}.xml")
        if os.path.exists(report):
            os.remove(report)
        command = [a for a in first["command"] if not a.startswith(FILTER)]
        command += [FILTER + ":".join(cases), "--gtest_output=xml:" + self.as_seen(report)]
        code, output = self.start(command, props, first["name"])
        seen = {}
        try:
            for case in ET.parse(report).getroot().iter("testcase"):
                full = f"{case.get('classname')}.{case.get('name')}"
                failures = [f.get("message", "") for f in case.findall("failure")]
                if failures:
                    seen[full] = ("failed", "\n".join(failures))
                elif case.get("result") == "skipped" or case.find("skipped") is not None:
                    seen[full] = ("skipped", "")
                elif case.get("status") == "notrun":
                    seen[full] = ("skipped", "")
                else:
                    seen[full] = ("passed", "")
        except (OSError, ET.ParseError):
            pass
        for case, name in cases.items():
            outcome, detail = seen.get(case, ("failed", ""))
            if outcome == "failed" and not detail:
                detail = f"(no verdict for this case; the program ended with {code})\n" + output
            self.verdict(name, outcome, detail)
        if code != 0 and all(seen.get(c, ("failed",))[0] != "failed" for c in cases):
            self.verdict(f"{first['name']} (the program's end)", "failed",
                         f"every case passed, but the program ended with {code}\n" + output)


def main():
    parser = argparse.ArgumentParser(description="Runs a tree's tests, a start per program.")
    parser.add_argument("build")
    parser.add_argument("results")
    parser.add_argument("--timeout", type=int, default=600)
    parser.add_argument("--exclude", default=None)
    parser.add_argument("--windows-paths", action="store_true",
                        help="the programs are Windows programs run by Wine")
    options = parser.parse_args()
    build, results, timeout = options.build, options.results, options.timeout
    os.makedirs(results, exist_ok=True)
    listing = subprocess.run(["ctest", "--test-dir", build, "--show-only=json-v1"],
                             stdout=subprocess.PIPE, check=True)
    tests = json.loads(listing.stdout)["tests"]
    if options.exclude:
        tests = [t for t in tests if not re.search(options.exclude, t["name"])]
    run = Run(results, timeout, options.windows_paths)

    setups = [t for t in tests if "FIXTURES_SETUP" in properties_of(t)]
    groups = {}
    singles = []
    for test in tests:
        if test in setups:
            continue
        if "command" not in test or not test["command"]:
            run.verdict(test["name"], "failed", "(no command: the program was not built)")
            continue
        key = key_of(test)
        if key is None:
            singles.append(test)
        else:
            groups.setdefault(key, []).append(test)

    for test in setups:
        run.single(test)
    for tests_of_program in groups.values():
        run.group(tests_of_program)
    for test in singles:
        run.single(test)

    print(f"{run.starts} program starts for {run.passed + run.failed + run.skipped} tests")
    summary = f"{run.passed} passed, {run.failed} failed"
    if run.skipped:
        summary += f", {run.skipped} skipped"
    print(summary)
    return 0 if run.failed == 0 and run.passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
