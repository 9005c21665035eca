#!/usr/bin/env python3
"""Planted faults: one-line mutants of src/ and whether the tests catch them.

Every mutant changes one line of the product in a scratch copy of the work tree, the copy is
rebuilt incrementally and the fast suites run; a mutant the suites pass has survived, and is
either a test to write, dead code or a change that alters nothing. The work tree itself is never
touched: the copy lives in its own folder (default /tmp/tallix-faults) with its own build folders.

    scripts/plant-faults.py --list                      every mutant, nothing built
    scripts/plant-faults.py                             the whole campaign over src/
    scripts/plant-faults.py --files 'src/actions/*' --exclude src/actions/locator.cpp --full
    scripts/plant-faults.py --sample 40 --seed 7        40 mutants spread over the files
    scripts/plant-faults.py --since origin/main --full  the lines a change touched

Mutants (one line each, never in comments, string or character literals, #include and #pragma
lines, static_assert conditions, which are checked by the compiler alone, or assert
conditions, which hold on every input, so that no test can see one weakened):
    cmp     a comparison flipped: < and <=, > and >=, == and != swap
    logic   && and || swap
    drop    one operand of a && or || dropped, with its operator
    limit   an integer limit off by one: the literal or UPPER_SNAKE constant that is a whole
            side of a comparison, the value of a constexpr or const UPPER_SNAKE constant, the
            index in brackets ([N], [LIMIT]) one off either way, the size of an array being
            declared one smaller (one larger is a bigger buffer, which no test could tell)
    const   the literal after a binary + or - (or += and -=) one less and one more: + 1 to + 0
For a comparison with a whole-side limit, only the off-by-one that the flipped comparison does
not already make is planted (x < N + 1 is x <= N for integers): both directions are covered, and
no fault is counted twice. The same tree gives the same mutants in the same order.

For each mutant: apply the line, build the check preset's test programs, run the unit tests
(build/check/tallix_tests, fastest, stops at the first failure) and then the other fast suites
(ctest: limits, demo_script, demo_terminal, demo_registry), restore the line. A mutant that does
not compile is left out of the score; a timeout counts as caught. With --full, a survivor is
tried again against the rest of make check: the unit tests under ASan/UBSan (the native-asan
preset) and the replay of every committed fuzz input (the fuzz preset, scripts/fuzz-run.sh
--replay), each built in the scratch copy the first time it is needed.

The report (plant-faults.md and plant-faults.json in the report folder, default
<scratch>/.plant-faults) gives per folder of src/ the mutants planted, compiled, caught and
survived, and every survivor with file:line, the original and the mutated line. Results are
written as they come; --resume reuses those of an earlier run for mutants not changed since.
Builds and tests run under nice -n 10 with two jobs.
"""

import argparse
import fnmatch
import hashlib
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FOLDERS = ["actions", "command", "host", "keys", "platform", "plugin"]
# The fast suites besides the unit tests, in the order ctest defines them.
CTEST_SUITES = ["limits", "demo_script", "demo_terminal", "demo_registry"]
# The check build's programs those suites run (the demo host loads libTallix.so).
CHECK_TARGETS = ["tallix_tests", "tallix_limits", "Tallix", "tallix-host", "demo_script_tests",
                 "demo_registry_tests"]
NICE = ["nice", "-n", "10"]
REPORT_FOLDER = ".plant-faults"
# What FastSuites answers when a program the suites need does not build with the mutant.
NOT_COMPILED = "not compiled"

# ---- Lexing ----------------------------------------------------------------------------------

PUNCTUATORS = ["<<=", ">>=", "...", "->*", "<=>", "->", "++", "--", "<<", ">>", "<=", ">=", "==",
               "!=", "&&", "||", "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^=", "::", "##"]
IDENT = re.compile(r"[A-Za-z_][A-Za-z0-9_]*")
NUMBER = re.compile(r"(?:0[xX][0-9A-Fa-f']+|[0-9][0-9']*)(?:\.[0-9]*)?[A-Za-z_]*")
UPPER = re.compile(r"[A-Z][A-Z0-9]*(?:_[A-Z0-9]+)+$|[A-Z]{2,}[0-9]*$")
INTEGER = re.compile(r"(0[xX])?([0-9A-Fa-f]+)([uUlL]*)$")


class Token:
    __slots__ = ("line", "col", "end", "kind", "text", "frozen")

    def __init__(self, line, col, end, kind, text):
        self.line, self.col, self.end, self.kind, self.text = line, col, end, kind, text
        self.frozen = False

    def __repr__(self):
        return "%s@%d:%d" % (self.text, self.line, self.col)


def Lex(source):
    """The code tokens of a C++ file, by line (1-based) and column; comments, #include and
    #pragma lines are dropped, string and character literals kept as one token of kind 'str'."""
    tokens = []
    line, col, i, n = 1, 0, 0, len(source)
    at_line_start = True

    def Advance(count):
        nonlocal i, line, col
        for _ in range(count):
            if source[i] == "\n":
                line, col = line + 1, 0
            else:
                col += 1
            i += 1

    while i < n:
        ch = source[i]
        if ch == "\n":
            Advance(1)
            at_line_start = True
            continue
        if ch in " \t\r\f\v":
            Advance(1)
            continue
        if ch == "\\" and source.startswith("\\\n", i):
            Advance(2)
            continue
        if source.startswith("//", i):
            while i < n and source[i] != "\n":
                Advance(1)
            continue
        if source.startswith("/*", i):
            close = source.find("*/", i + 2)
            Advance((close + 2 if close >= 0 else n) - i)
            continue
        if ch == "#" and at_line_start:
            directive = re.match(r"#\s*([a-z]*)", source[i:]).group(1)
            if directive in ("include", "pragma"):
                while i < n and source[i] != "\n":
                    Advance(1)
                continue
        at_line_start = False
        start_line, start_col = line, col
        if ch == '"' or ch == "'":
            raw = ch == '"' and tokens and tokens[-1].text in ("R", "uR", "u8R", "LR", "UR") \
                and tokens[-1].end == col
            j = i + 1
            if raw:
                delim = source[j:source.index("(", j)]
                j = source.index(")" + delim + '"', j) + len(delim) + 2
            else:
                while j < n and source[j] != ch:
                    j += 2 if source[j] == "\\" else 1
                j += 1
            text = source[i:j]
            Advance(j - i)
            tokens.append(Token(start_line, start_col, start_col + len(text), "str", text))
            continue
        m = IDENT.match(source, i) if (ch.isalpha() or ch == "_") else None
        kind = "id"
        if not m and ch.isdigit():
            m, kind = NUMBER.match(source, i), "num"
        if m:
            text = m.group(0)
            if kind == "id" and i + len(text) < n and source[i + len(text)] in "\"'":
                kind = "prefix"  # u"..", L'..', R"(..)": the literal follows
            Advance(len(text))
            tokens.append(Token(start_line, start_col, start_col + len(text), kind, text))
            continue
        text = next((p for p in PUNCTUATORS if source.startswith(p, i)), ch)
        Advance(len(text))
        tokens.append(Token(start_line, start_col, start_col + len(text), "op", text))
    FreezeCompileTimeOnly(tokens)
    return tokens


def Matching(tokens, k, opening, closing):
    depth = 0
    for j in range(k, len(tokens)):
        if tokens[j].text == opening:
            depth += 1
        elif tokens[j].text == closing:
            depth -= 1
            if depth == 0:
                return j
    return len(tokens) - 1


def FreezeCompileTimeOnly(tokens):
    """Marks what no mutant may touch: static_assert conditions (only the compiler reads them),
    assert conditions (an assertion holds on every input, so no test can see it weakened) and
    the angle brackets of templates and casts, which are no comparisons."""
    for k, token in enumerate(tokens):
        if token.text in ("static_assert", "assert") and k + 1 < len(tokens) \
                and tokens[k + 1].text == "(":
            for j in range(k, Matching(tokens, k + 1, "(", ")") + 1):
                tokens[j].frozen = True
        if token.text == "<" and k > 0 and (tokens[k - 1].text == "template"
                                            or tokens[k - 1].text.endswith("_cast")):
            end = Matching(tokens, k, "<", ">")
            token.frozen = tokens[end].frozen = True

# ---- Mutants ---------------------------------------------------------------------------------

COMPARISON_FLIPS = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
LOGIC_SWAPS = {"&&": "||", "||": "&&"}
# Where an operand ends: the side of a comparison, a term of && or ||.
STOPS = {";", ",", "?", ":", "=", "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^=", "<<=", ">>=",
         "return", "{", "}"}
OPENING = {"(", "[", "{"}
CLOSING = {")", "]", "}"}
KEYWORDS = {"return", "if", "while", "for", "case", "else", "do", "switch", "sizeof", "new",
            "delete", "throw", "co_return"}
# The off-by-one that a flipped comparison already makes (x < N + 1 is x <= N), by operator with
# the limit on the right.
FLIP_TWIN = {"<": +1, "<=": -1, ">": -1, ">=": +1}
MIRROR = {"<": ">", "<=": ">=", ">": "<", ">=": "<="}


def IsInteger(token):
    return token.kind == "num" and INTEGER.match(token.text.replace("'", "")) is not None


# Enumerators are names, not limits: one off is another enumerator or none. Filled by
# CollectEnumerators before the mutants are made.
ENUMERATORS = set()


def CollectEnumerators(tokens):
    for k, token in enumerate(tokens):
        if token.text != "enum":
            continue
        j = k + 1
        while j < len(tokens) and tokens[j].text not in ("{", ";"):
            j += 1
        if j >= len(tokens) or tokens[j].text == ";":
            continue
        expect_name = True
        for t in tokens[j + 1:Matching(tokens, j, "{", "}")]:
            if expect_name and t.kind == "id":
                ENUMERATORS.add(t.text)
            expect_name = t.text == ","


def IsLimit(token):
    return IsInteger(token) or (token.kind == "id" and UPPER.match(token.text) is not None and
                                token.text not in ENUMERATORS)


def OffByOne(token, delta):
    """The token's text with its value moved by delta, or None (a literal would go negative)."""
    if token.kind == "id":
        return "(%s %s 1)" % (token.text, "+" if delta > 0 else "-")
    prefix, digits, suffix = INTEGER.match(token.text.replace("'", "")).groups()
    value = int(digits, 16 if prefix else 10) + delta
    if value < 0:
        return None
    if prefix:
        body = "%X" % value if digits.upper() == digits else "%x" % value
        return prefix + body.rjust(len(digits), "0") + suffix
    return str(value) + suffix


def Term(line_tokens, k, step, delimiters):
    """The index of the far end of the operand next to the operator at k, walking by step
    (-1 left, +1 right), or None when the operand does not end on this line."""
    depth, j, last = 0, k + step, None
    inward, outward = (CLOSING, OPENING) if step < 0 else (OPENING, CLOSING)
    while 0 <= j < len(line_tokens):
        text = line_tokens[j].text
        if depth == 0 and (text in outward or text in STOPS or text in delimiters):
            break
        if text in inward:
            depth += 1
        elif text in outward:
            depth -= 1
        last = j
        j += step
    if depth != 0 or last is None:
        return None
    return last


def Boundary(line_tokens, j):
    """True when index j is outside the line or a token that ends an operand."""
    if j < 0 or j >= len(line_tokens):
        return True
    text = line_tokens[j].text
    return text in STOPS or text in OPENING or text in CLOSING or text in ("&&", "||", "!") or \
        text in KEYWORDS


def HasTopLevel(line_tokens, first, last, operator):
    depth = 0
    for token in line_tokens[first:last + 1]:
        depth += token.text in OPENING
        depth -= token.text in CLOSING
        if depth == 0 and token.text == operator:
            return True
    return False


def SwapLogic(text, line_tokens, k):
    """The line with the && or || at k swapped for the other. Where that mixes && and || in one
    chain, the parentheses the language's precedence implies are written out, as the compiler
    asks (-Wparentheses): a || b || c becomes (a && b) || c, a && b && c becomes a || (b && c)."""
    new = LOGIC_SWAPS[line_tokens[k].text]
    delimiters = {"&&", "||"} if new == "&&" else {"||"}
    left = Term(line_tokens, k, -1, delimiters)
    right = Term(line_tokens, k, +1, delimiters)
    if left is None or right is None:
        return text[:line_tokens[k].col] + new + text[line_tokens[k].end:]
    a, b = line_tokens[left].col, line_tokens[right].end
    left_text = text[a:line_tokens[k].col].rstrip()
    right_text = text[line_tokens[k].end:b].lstrip()
    if new == "&&":
        outside = [line_tokens[j].text for j in (left - 1, right + 1) if 0 <= j < len(line_tokens)]
        middle = "%s && %s" % (left_text, right_text)
        return text[:a] + ("(%s)" % middle if "||" in outside else middle) + text[b:]
    if HasTopLevel(line_tokens, left, k - 1, "&&"):
        left_text = "(%s)" % left_text
    if HasTopLevel(line_tokens, k + 1, right, "&&"):
        right_text = "(%s)" % right_text
    return text[:a] + "%s || %s" % (left_text, right_text) + text[b:]


def IsDeclaredSize(line_tokens, k):
    """True when the [ at k opens the size of an array being declared (WCHAR buffer[N],
    names[N][M], WCHAR* text[N]): an identifier after a type, not an index after an operator."""
    j = k - 1
    while j >= 0 and line_tokens[j].text == "]":
        j = next((i for i in range(j, -1, -1) if line_tokens[i].text == "["), 0) - 1
    if j < 1 or line_tokens[j].kind != "id":
        return False
    before = line_tokens[j - 1]
    if before.text in ("*", "&") and j >= 2:
        before = line_tokens[j - 2]
    return before.kind == "id" and before.text not in KEYWORDS


def LineMutants(text, line_tokens):
    """(kind, mutated line, what changed) for one line of code."""
    out = []

    def Replace(first, last, new):
        a, b = line_tokens[first].col, line_tokens[last].end
        return text[:a] + new + text[b:]

    for k, token in enumerate(line_tokens):
        if token.frozen:
            continue
        t = token.text
        if t in COMPARISON_FLIPS:
            out.append(("cmp", Replace(k, k, COMPARISON_FLIPS[t]), "%s to %s" % (t, COMPARISON_FLIPS[t])))
            # A whole-side limit one off: on the right (x < N) or on the left (N < x).
            for side in (+1, -1):
                j = k + side
                if not (0 <= j < len(line_tokens)) or not IsLimit(line_tokens[j]):
                    continue
                if line_tokens[j].frozen or not Boundary(line_tokens, j + side):
                    continue
                op = t if side > 0 else MIRROR.get(t, t)
                deltas = (-1, +1) if op in ("==", "!=") else (-FLIP_TWIN[op],)
                for delta in deltas:
                    new = OffByOne(line_tokens[j], delta)
                    if new is not None:
                        out.append(("limit", Replace(j, j, new),
                                    "%s to %s" % (line_tokens[j].text, new)))
        elif t in LOGIC_SWAPS:
            out.append(("logic", SwapLogic(text, line_tokens, k), "%s to %s" % (t, LOGIC_SWAPS[t])))
            delimiters = {"&&", "||"} if t == "&&" else {"||"}
            left = Term(line_tokens, k, -1, delimiters)
            right = Term(line_tokens, k, +1, delimiters)
            if left is not None:
                a, b = line_tokens[left].col, line_tokens[k + 1].col if k + 1 < len(line_tokens) \
                    else len(text.rstrip())
                out.append(("drop", text[:a] + text[b:], "left operand of %s dropped" % t))
            if right is not None and left is not None:
                a, b = line_tokens[k - 1].end, line_tokens[right].end
                out.append(("drop", text[:a] + text[b:], "right operand of %s dropped" % t))
        elif t in ("+", "-", "+=", "-=") and k + 1 < len(line_tokens) and \
                IsInteger(line_tokens[k + 1]) and k > 0 and not line_tokens[k + 1].frozen:
            before = line_tokens[k - 1]
            binary = before.kind in ("num", "str") or before.text in (")", "]") or \
                (before.kind == "id" and before.text not in KEYWORDS)
            if binary or t in ("+=", "-="):
                for delta in (-1, +1):
                    new = OffByOne(line_tokens[k + 1], delta)
                    if new is not None:
                        out.append(("const", Replace(k + 1, k + 1, new),
                                    "%s %s to %s %s" % (t, line_tokens[k + 1].text, t, new)))
        elif t == "[" and k + 2 < len(line_tokens) and line_tokens[k + 2].text == "]" and \
                IsLimit(line_tokens[k + 1]):
            # A buffer declared one larger changes nothing a test could see: only one smaller.
            for delta in (-1,) if IsDeclaredSize(line_tokens, k) else (-1, +1):
                new = OffByOne(line_tokens[k + 1], delta)
                if new is not None:
                    out.append(("limit", Replace(k + 1, k + 1, new),
                                "[%s] to [%s]" % (line_tokens[k + 1].text, new)))
        elif t == "=" and k > 0 and line_tokens[k - 1].kind == "id" and \
                UPPER.match(line_tokens[k - 1].text) and \
                any(x.text in ("constexpr", "const") for x in line_tokens[:k]):
            first = j = k + 1
            negative = j < len(line_tokens) and line_tokens[j].text == "-"
            j += negative
            if j < len(line_tokens) and IsLimit(line_tokens[j]) and \
                    Boundary(line_tokens, j + 1) and not (negative and line_tokens[j].kind == "id"):
                for delta in (-1, +1):
                    new = OffByOne(line_tokens[j], -delta if negative else delta)
                    if new is not None:
                        new = "-" + new if negative and new.strip("0x") else new
                        out.append(("limit", Replace(first, j, new), "%s = %s to %s" % (
                            line_tokens[k - 1].text, text[line_tokens[first].col:
                                                          line_tokens[j].end], new)))
    return out


def FileMutants(path):
    """Every mutant of one file, in line and column order, without repeats."""
    with open(os.path.join(REPO if not path.startswith("/") else "", path), encoding="utf-8") as f:
        source = f.read()
    return MutantsOfSource(path, source)


def MutantsOfSource(path, source):
    lines = source.split("\n")
    by_line = {}
    for token in Lex(source):
        by_line.setdefault(token.line, []).append(token)
    mutants, seen = [], set()
    for number in sorted(by_line):
        original = lines[number - 1]
        for kind, mutated, change in LineMutants(original, by_line[number]):
            same = " ".join(mutated.split())
            if same == " ".join(original.split()) or (number, same) in seen:
                continue
            seen.add((number, same))
            mutants.append({"file": path, "line": number, "kind": kind, "change": change,
                            "original": original, "mutated": mutated})
    return mutants


def ChangedLines(revision, files):
    """The lines of each file that the work tree adds or changes against `revision`."""
    changed = {}
    diff = subprocess.run(["git", "-C", REPO, "diff", "-U0", revision, "--"] + files,
                          check=True, capture_output=True, text=True).stdout
    path = None
    for line in diff.split("\n"):
        if line.startswith("+++ "):
            path = line[6:] if line.startswith("+++ b/") else None
        hunk = re.match(r"@@ -\S+ \+(\d+)(?:,(\d+))? @@", line)
        if hunk and path:
            first, count = int(hunk.group(1)), int(hunk.group(2) or "1")
            changed.setdefault(path, set()).update(range(first, first + count))
    return changed


def MutantKey(mutant):
    text = "\0".join([mutant["file"], str(mutant["line"]), mutant["original"], mutant["mutated"]])
    return hashlib.sha1(text.encode()).hexdigest()[:12]


def SourceFiles(root, includes, excludes):
    found = []
    for folder, dirs, files in os.walk(os.path.join(root, "src")):
        dirs.sort()
        for name in sorted(files):
            if not name.endswith((".cpp", ".h")):
                continue
            rel = os.path.relpath(os.path.join(folder, name), root)
            if includes and not any(fnmatch.fnmatch(rel, g) for g in includes):
                continue
            if any(fnmatch.fnmatch(rel, g) for g in excludes):
                continue
            found.append(rel)
    return sorted(found)


def Sample(mutants, count, seed):
    """count mutants spread over the files: each file's list shuffled, then one file at a time
    in turn; the chosen ones kept in their original order."""
    rng = random.Random(seed)
    by_file = {}
    for index, mutant in enumerate(mutants):
        by_file.setdefault(mutant["file"], []).append(index)
    queues = []
    for name in sorted(by_file):
        indices = by_file[name][:]
        rng.shuffle(indices)
        queues.append(indices)
    chosen = []
    while len(chosen) < count and any(queues):
        for queue in queues:
            if queue and len(chosen) < count:
                chosen.append(queue.pop())
    return [mutants[i] for i in sorted(chosen)]

# ---- The scratch copy ------------------------------------------------------------------------


def SyncTree(source, scratch):
    """Makes scratch a copy of source's work tree (without build/ and .git): files whose content
    differs are written anew (so their build is redone), others keep their time stamps, and files
    gone from source go from the copy."""
    wanted = set()
    for folder, dirs, files in os.walk(source):
        rel_folder = os.path.relpath(folder, source)
        if rel_folder == ".":
            dirs[:] = [d for d in dirs if d not in ("build", ".git", REPORT_FOLDER)]
        else:
            dirs[:] = [d for d in dirs if d != ".git"]
        os.makedirs(os.path.join(scratch, rel_folder), exist_ok=True)
        for name in files:
            rel = os.path.normpath(os.path.join(rel_folder, name))
            wanted.add(rel)
            src, dst = os.path.join(source, rel), os.path.join(scratch, rel)
            if os.path.islink(src):
                if not os.path.islink(dst) or os.readlink(dst) != os.readlink(src):
                    if os.path.lexists(dst):
                        os.remove(dst)
                    os.symlink(os.readlink(src), dst)
                continue
            with open(src, "rb") as f:
                data = f.read()
            if os.path.isfile(dst) and not os.path.islink(dst):
                with open(dst, "rb") as f:
                    if f.read() == data:
                        continue
            if os.path.lexists(dst):
                os.remove(dst)
            with open(dst, "wb") as f:
                f.write(data)
            shutil.copymode(src, dst)
    for folder, dirs, files in os.walk(scratch):
        rel_folder = os.path.relpath(folder, scratch)
        if rel_folder == ".":
            dirs[:] = [d for d in dirs if d not in ("build", ".git", REPORT_FOLDER)]
        for name in files:
            rel = os.path.normpath(os.path.join(rel_folder, name))
            if rel not in wanted:
                os.remove(os.path.join(scratch, rel))

# ---- Running ---------------------------------------------------------------------------------


def Outcome(code, out, failure):
    """(None or what failed, the names that `failure`, a pattern with one group, finds in the
    output) for a suite run that ended with `code`."""
    if code == "timeout":
        return "timeout", []
    failed = sorted(set(re.findall(failure, out, re.M)))
    if code != 0:
        return ", ".join(failed) or "exit %s" % code, failed
    return None, []


def Run(command, cwd, timeout=None, log=None):
    """(exit code or 'timeout', output). The command runs in a process group of its own, so
    that a timeout ends it and everything it started."""
    process = subprocess.Popen(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                               start_new_session=True, text=True, errors="replace")
    try:
        output, _ = process.communicate(timeout=timeout)
        code = process.returncode
    except subprocess.TimeoutExpired:
        for sig in (signal.SIGTERM, signal.SIGKILL):
            try:
                os.killpg(process.pid, sig)
            except ProcessLookupError:
                break
            try:
                output, _ = process.communicate(timeout=5)
                break
            except subprocess.TimeoutExpired:
                continue
        else:
            output = ""
        code = "timeout"
    if log is not None:
        log.write("$ %s\n%s\n" % (" ".join(command), output[-20000:]))
        log.flush()
    return code, output


class Campaign:
    def __init__(self, args):
        self.args = args
        self.scratch = os.path.abspath(args.scratch)
        self.jobs = str(args.jobs)
        self.prepared = set()
        # What fails on the unchanged tree, left out of every mutant's run with --skip-failing:
        # unit tests (a gtest filter), ctest suites and fuzz targets.
        self.failingUnit = []
        self.ctestSuites = list(CTEST_SUITES)
        self.fuzzTargets = None
        os.makedirs(self.ReportDir(), exist_ok=True)
        self.log = open(os.path.join(self.ReportDir(), "build.log"), "w")

    def ReportDir(self):
        return self.args.report_dir or os.path.join(self.scratch, REPORT_FOLDER)

    def Say(self, text):
        print(text, flush=True)

    def Build(self, preset, targets=None, configure=False):
        build_dir = os.path.join("build", preset)
        if configure or preset not in self.prepared:
            code, out = Run(NICE + ["cmake", "--preset", preset], self.scratch, log=self.log)
            if code != 0:
                sys.exit("cmake --preset %s failed in %s:\n%s" % (preset, self.scratch, out[-3000:]))
            self.prepared.add(preset)
        command = NICE + ["cmake", "--build", build_dir, "-j" + self.jobs]
        if targets:
            command += ["--target"] + targets
        code, _ = Run(command, self.scratch, log=self.log)
        return code == 0

    def Unit(self, build_dir, timeout, fail_fast=True):
        """(None or what failed, names of the failed tests) for one unit-test binary."""
        unit = NICE + [os.path.join(self.scratch, build_dir, "tallix_tests"), "--gtest_brief=1"]
        if fail_fast:
            unit.append("--gtest_fail_fast")
        if self.failingUnit:
            unit.append("--gtest_filter=-" + ":".join(self.failingUnit))
        code, out = Run(unit, self.scratch, timeout=timeout)
        return Outcome(code, out, r"^\[  FAILED  \] ([\w/.]+)")

    def Ctest(self, timeout):
        """(None or what failed, names of the failed suites) for the other fast suites."""
        if not self.ctestSuites:
            return None, []
        ctest = NICE + ["ctest", "--test-dir", "build/check", "-j1", "--timeout", str(timeout),
                        "-R", "^(%s)$" % "|".join(self.ctestSuites)]
        code, out = Run(ctest + ["--stop-on-failure"], self.scratch,
                        timeout=timeout * len(self.ctestSuites) + 30)
        return Outcome(code, out, r"^\s*\d+ - (\w+) \(")

    def Replay(self):
        """(None or what failed, names of the failed targets) for the fuzz-corpus replay."""
        command = NICE + ["env", "FUZZ_WORK=" + os.path.join(self.scratch, "build/fuzz/replay"),
                          "scripts/fuzz-run.sh", "--replay"] + (self.fuzzTargets or [])
        code, out = Run(command, self.scratch, timeout=self.args.fuzz_timeout)
        return Outcome(code, out, r"^REPLAY FAIL (\w+)")

    def FastSuites(self):
        """None when the fast suites pass, else what caught the mutant. The unit tests run first:
        they catch most mutants, and need only their own program linked."""
        caught, _ = self.Unit("build/check", self.args.timeout)
        if caught:
            return "unit: " + caught
        if not self.Build("check", CHECK_TARGETS):
            return NOT_COMPILED
        caught, _ = self.Ctest(self.args.timeout)
        return "ctest: " + caught if caught else None

    def FullSuites(self):
        """None when the sanitized unit tests and the fuzz replay pass, else what caught it."""
        if not self.Build("native-asan", ["tallix_tests"]):
            return None
        caught, _ = self.Unit("build/native-asan", self.args.timeout * 4)
        if caught:
            return "asan unit: " + caught
        if not self.Build("fuzz"):
            return None
        caught, _ = self.Replay()
        return "fuzz replay: " + caught if caught else None

    def Baseline(self, what, result):
        """Stops when the unchanged tree fails, unless --skip-failing leaves the failures out."""
        caught, failed = result
        if not caught:
            return []
        if not self.args.skip_failing or not failed:
            sys.exit("the unchanged tree fails %s (%s); fix that first, or --skip-failing" %
                     (what, caught))
        self.Say("left out, failing on the unchanged tree: %s %s" % (what, ", ".join(failed)))
        return failed

    def Prepare(self):
        self.Say("copying %s to %s" % (REPO, self.scratch))
        os.makedirs(self.scratch, exist_ok=True)
        SyncTree(REPO, self.scratch)
        self.Say("building the check preset")
        if not self.Build("check", configure=True):
            sys.exit("the unchanged tree does not build; see %s" % self.log.name)
        self.failingUnit = self.Baseline(
            "the unit tests", self.Unit("build/check", self.args.timeout, fail_fast=False))
        failing = self.Baseline("the ctest suites", self.Ctest(self.args.timeout))
        self.ctestSuites = [s for s in self.ctestSuites if s not in failing]
        if self.args.full:
            self.Say("building the native-asan and fuzz presets")
            for preset in ("native-asan", "fuzz"):
                if not self.Build(preset, configure=True):
                    sys.exit("the unchanged tree does not build the %s preset" % preset)
            self.failingUnit += self.Baseline(
                "the unit tests under ASan/UBSan",
                self.Unit("build/native-asan", self.args.timeout * 4, fail_fast=False))
            failing = self.Baseline("the fuzz replay", self.Replay())
            if failing:
                with open(os.path.join(self.scratch, "scripts/fuzz-run.sh")) as f:
                    targets = re.search(r"^TARGETS=\(([^)]*)\)", f.read(), re.M).group(1).split()
                self.fuzzTargets = [t for t in targets if t not in failing]
        self.baselineFailures = {"unit": self.failingUnit,
                                 "ctest": [s for s in CTEST_SUITES if s not in self.ctestSuites],
                                 "fuzz": failing if self.args.full else []}

    def Plant(self, mutant):
        path = os.path.join(self.scratch, mutant["file"])
        with open(path, encoding="utf-8", newline="") as f:
            original = f.read()
        lines = original.split("\n")
        if lines[mutant["line"] - 1] != mutant["original"]:
            return {"status": "stale", "by": "the line changed in the copy"}
        lines[mutant["line"] - 1] = mutant["mutated"]
        started = time.time()
        try:
            with open(path, "w", encoding="utf-8", newline="") as f:
                f.write("\n".join(lines))
            if not self.Build("check", ["tallix_tests"]):
                return {"status": "not compiled", "seconds": round(time.time() - started, 1)}
            caught = self.FastSuites()
            if caught == NOT_COMPILED:
                return {"status": "not compiled", "seconds": round(time.time() - started, 1)}
            if caught is None and self.args.full:
                caught = self.FullSuites()
            status = "caught" if caught else "survived"
            return {"status": status, "by": caught, "seconds": round(time.time() - started, 1)}
        finally:
            with open(path, "w", encoding="utf-8", newline="") as f:
                f.write(original)

    def Finish(self):
        """Rebuilds what the last mutant left behind, so the copy matches the tree again."""
        self.Build("check", CHECK_TARGETS)

# ---- The report ------------------------------------------------------------------------------


def Folder(path):
    parts = path.split("/")
    return parts[1] if len(parts) > 2 else "(src)"


def Summary(results):
    rows = {}
    for r in results:
        for key in (Folder(r["file"]), "all of src/"):
            row = rows.setdefault(key, {"planted": 0, "compiled": 0, "caught": 0, "survived": 0})
            row["planted"] += 1
            if r["status"] in ("caught", "survived"):
                row["compiled"] += 1
                row[r["status"]] += 1
    for row in rows.values():
        row["caught %"] = round(100.0 * row["caught"] / row["compiled"], 1) if row["compiled"] else None
    order = [f for f in FOLDERS if f in rows] + sorted(set(rows) - set(FOLDERS) - {"all of src/"})
    return [(name, rows[name]) for name in order + ["all of src/"] if name in rows]


def WriteReport(results, report_dir, meta):
    summary = Summary(results)
    with open(os.path.join(report_dir, "plant-faults.json"), "w") as f:
        json.dump({"meta": meta, "summary": dict(summary), "mutants": results}, f, indent=1)
    lines = ["# Planted faults", "",
             "Tree: %s, %s; %d mutants%s." % (meta["tree"], meta["when"], len(results),
                                               " (--full)" if meta["full"] else ""), ""]
    left_out = {k: v for k, v in meta.get("left out, failing on the unchanged tree", {}).items()
                if v}
    if left_out:
        lines += ["Left out, failing on the unchanged tree: %s." % "; ".join(
            "%s %s" % (k, ", ".join(v)) for k, v in left_out.items()), ""]
    lines += [
             "| folder | planted | compiled | caught | survived | caught % |",
             "|---|---:|---:|---:|---:|---:|"]
    for name, row in summary:
        pct = "-" if row["caught %"] is None else "%.1f%%" % row["caught %"]
        lines.append("| %s | %d | %d | %d | %d | %s |" % (name, row["planted"], row["compiled"],
                                                          row["caught"], row["survived"], pct))
    survivors = [r for r in results if r["status"] == "survived"]
    lines += ["", "## Survivors (%d)" % len(survivors), ""]
    for r in survivors:
        lines += ["%s:%d  %s (%s)" % (r["file"], r["line"], r["kind"], r["change"]),
                  "    - " + r["original"].strip(), "    + " + r["mutated"].strip(), ""]
    with open(os.path.join(report_dir, "plant-faults.md"), "w") as f:
        f.write("\n".join(lines) + "\n")
    return "\n".join(lines)

# ---- Main ------------------------------------------------------------------------------------


def Arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter,
                                     epilog=__doc__.split("\n\n", 1)[1])
    parser.add_argument("--scratch", default="/tmp/tallix-faults",
                        help="the scratch copy (default /tmp/tallix-faults)")
    parser.add_argument("--files", action="append", default=[], metavar="GLOB",
                        help="only files of src/ matching GLOB (repeatable), e.g. 'src/keys/*'")
    parser.add_argument("--exclude", action="append", default=[], metavar="GLOB",
                        help="leave out files matching GLOB (repeatable)")
    parser.add_argument("--since", metavar="REV",
                        help="only lines changed since the git revision REV (the work tree's "
                        "diff against it), e.g. the commit a change starts from")
    parser.add_argument("--sample", type=int, metavar="N", help="N mutants spread over the files")
    parser.add_argument("--seed", type=int, default=1, metavar="S", help="seed of --sample")
    parser.add_argument("--list", action="store_true", help="print the mutants, build nothing")
    parser.add_argument("--full", action="store_true",
                        help="try survivors under ASan/UBSan and the fuzz-corpus replay too")
    parser.add_argument("--timeout", type=int, default=60,
                        help="seconds for each suite run of one mutant (default 60)")
    parser.add_argument("--fuzz-timeout", type=int, default=900,
                        help="seconds for the fuzz replay of one mutant (default 900)")
    parser.add_argument("--jobs", type=int, default=2, help="build jobs (default 2)")
    parser.add_argument("--report-dir", help="where the report goes (default <scratch>/%s)"
                        % REPORT_FOLDER)
    parser.add_argument("--skip-failing", action="store_true",
                        help="leave out the tests that fail on the unchanged tree (listed in the "
                        "report) instead of stopping")
    parser.add_argument("--resume", action="store_true",
                        help="reuse the results of the report folder's earlier run")
    return parser.parse_args()


def main():
    args = Arguments()
    files = SourceFiles(REPO, args.files, args.exclude)
    for path in SourceFiles(REPO, [], []):
        with open(os.path.join(REPO, path), encoding="utf-8") as f:
            CollectEnumerators(Lex(f.read()))
    mutants = [m for path in files for m in FileMutants(path)]
    if args.since:
        changed = ChangedLines(args.since, files)
        mutants = [m for m in mutants if m["line"] in changed.get(m["file"], ())]
    if args.sample is not None:
        mutants = Sample(mutants, args.sample, args.seed)
    for m in mutants:
        m["id"] = MutantKey(m)
    if args.list:
        for m in mutants:
            print("%s %s:%d %s (%s)\n    - %s\n    + %s" % (m["id"], m["file"], m["line"],
                                                         m["kind"], m["change"],
                                                         m["original"].strip(),
                                                         m["mutated"].strip()))
        print("%d mutants in %d files" % (len(mutants), len({m["file"] for m in mutants})))
        return 0

    campaign = Campaign(args)
    earlier = {}
    json_path = os.path.join(campaign.ReportDir(), "plant-faults.json")
    if args.resume and os.path.exists(json_path):
        with open(json_path) as f:
            earlier = {r["id"]: r for r in json.load(f)["mutants"] if r["status"] != "stale"}
    head = subprocess.run(["git", "-C", REPO, "rev-parse", "--short", "HEAD"],
                          capture_output=True, text=True).stdout.strip()
    meta = {"tree": "%s plus the work tree's changes" % head,
            "when": time.strftime("%Y-%m-%d %H:%M"), "full": args.full,
            "files": args.files, "exclude": args.exclude, "sample": args.sample,
            "seed": args.seed}
    campaign.Prepare()
    meta["left out, failing on the unchanged tree"] = campaign.baselineFailures
    results = []
    started = time.time()
    try:
        for number, m in enumerate(mutants, 1):
            if m["id"] in earlier:
                results.append(earlier[m["id"]])
                continue
            outcome = campaign.Plant(m)
            results.append(dict(m, **outcome))
            left = (time.time() - started) / number * (len(mutants) - number)
            campaign.Say("[%d/%d] %-12s %s:%d %s (%s)%s  ~%d min left" % (
                number, len(mutants), outcome["status"], m["file"], m["line"], m["kind"],
                m["change"], "  by " + outcome["by"] if outcome.get("by") else "", left / 60))
            WriteReport(results, campaign.ReportDir(), meta)
    finally:
        campaign.Finish()
    print(WriteReport(results, campaign.ReportDir(), meta))
    print("report: %s" % os.path.join(campaign.ReportDir(), "plant-faults.md"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
