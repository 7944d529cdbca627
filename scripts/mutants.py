#!/usr/bin/env python3
"""Mutation sampler: small faults put into a copy of the product code, one at a time,
to see whether the test suite notices them.

    scripts/mutants.py --sample 80 --seed 1          # 80 mutants spread over src/
    scripts/mutants.py --files 'src/archive/*' --sample 20 --seed 2
    scripts/mutants.py --diff main                   # every mutant on lines changed since main
    scripts/mutants.py --list --files 'src/protocol/ptzcoding.cpp'   # show, run nothing
    scripts/mutants.py --self-check                  # one known mutant must be killed
    scripts/mutants.py --sample 80 --seed 1 --resume # go on after a stop: verdicts kept
    scripts/mutants.py --report .mutants/results-seed-1.jsonl --notes scripts/mutation/mutants-notes.tsv
                                                     # the report again, with the survivors' verdicts

The work folder (default .mutants/ in the checkout, ignored by git) holds a copy of
the checkout's files and of its build folder (default build/, as scripts/test.sh makes
it; build it first), copied with their times so that the copy is up to date. The
script then runs itself again in a private network namespace (loopback only, as
scripts/test.sh runs the tests) and a private mount namespace in which the copy is
mounted over the checkout's own path: the copied build, whose files name that path,
is used as it is, nothing is compiled twice, and the working tree is never written
(the script refuses to run when the tree it sees is not the copy). Settings and data
folders are inside the work folder; everything runs under nice.

Each mutant is written into the copy, the tests that can see it are built (make's
incremental build: the changed file and what depends on it) and run with ctest one at
a time, fastest and nearest first, until one fails (killed), one runs past its time
limit (timed out, the test's process group killed) or all pass (survived). The file is
then restored and touched, so the next build brings the objects back. A mutant that
does not compile is discarded and another is drawn in its place.

Which tests can see a mutant is read from the build, not guessed: the objects whose
dependency files name the mutated file; the link scripts, from their targets to every
executable that links them; and, since those are static libraries,
whether the linker took the object into the executable at all (it did when one of the
object's global symbols is in the executable's symbol table). A test is chosen when
its executable contains such an object, or when it starts the program or the
simulator and that program contains one. A chosen test whose executable and started
program come out of the build byte for byte as at the baseline run is not run again:
it is the very program that passed. No test reads product sources at run time, so for
the mutated file this set is the whole suite: every test left out runs exactly the
code it ran at the baseline.

Python 3 standard library only; no network.
"""

import argparse
import fnmatch
import hashlib
import json
import os
import random
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# The self-check: one line of the PTZ coding whose fault its unit test must catch.
SELF_CHECK = {
    "file": "src/protocol/ptzcoding.cpp",
    "contains": "direction << 8 | move.byAxis",
    "old": "<< 8",
    "new": "<< 9",
    "test": "test_ptzcoding",
}

KEYWORDS = {
    "if", "while", "for", "switch", "return", "sizeof", "catch", "alignof", "decltype",
    "static_cast", "reinterpret_cast", "const_cast", "dynamic_cast", "noexcept",
    "static_assert", "defined", "else", "do", "case", "new", "delete", "throw", "emit",
    "Q_EMIT", "Q_ASSERT", "Q_UNUSED", "assert", "operator", "template", "typename",
}


# ---------------------------------------------------------------------------------
# Reading C++ well enough to mutate it

def mask_source(text):
    """Per line: (masked, strings). masked has comments blanked and the inside of string
    and character literals replaced by '\\x01'; strings lists (start, end) of each
    ordinary string literal, quotes included."""
    out_lines, strings, cur, cur_strings = [], [], [], []
    i, n = 0, len(text)
    state = "code"
    str_start = 0
    raw_end = ""
    while i < n:
        c = text[i]
        if c == "\n":
            if state == "line_comment":
                state = "code"
            out_lines.append("".join(cur))
            strings.append(cur_strings)
            cur, cur_strings = [], []
            i += 1
            continue
        if state == "code":
            if text.startswith("//", i):
                state = "line_comment"
                cur.append(" ")
            elif text.startswith("/*", i):
                state = "block_comment"
                cur.append("  ")
                i += 2
                continue
            elif c == '"':
                m = re.match(r'R"([^(\s]*)\(', text[i - 1:i + 20]) if i > 0 and text[i - 1] == "R" else None
                if m:
                    state = "raw"
                    raw_end = ")" + m.group(1) + '"'
                else:
                    state = "string"
                    str_start = len(cur)
                cur.append('"')
            elif c == "'" and not (i > 0 and text[i - 1].isalnum()):
                state = "char"
                cur.append("'")
            else:
                cur.append(c)
        elif state == "line_comment":
            cur.append(" ")
        elif state == "block_comment":
            if text.startswith("*/", i):
                state = "code"
                cur.append("  ")
                i += 2
                continue
            cur.append(" ")
        elif state in ("string", "char"):
            quote = '"' if state == "string" else "'"
            if c == "\\" and i + 1 < n and text[i + 1] != "\n":
                cur.append("\x01\x01")
                i += 2
                continue
            if c == quote:
                cur.append(quote)
                if state == "string":
                    cur_strings.append((str_start, len(cur)))
                state = "code"
            else:
                cur.append("\x01")
        elif state == "raw":
            if text.startswith(raw_end, i):
                cur.append("\x01" * (len(raw_end) - 1) + '"')
                i += len(raw_end)
                state = "code"
                continue
            cur.append("\x01")
        i += 1
    out_lines.append("".join(cur))
    strings.append(cur_strings)
    return out_lines, strings


def matching_paren(s, open_pos):
    depth = 0
    for j in range(open_pos, len(s)):
        if s[j] in "([{":
            depth += 1
        elif s[j] in ")]}":
            depth -= 1
            if depth == 0:
                return j
    return -1


def split_args(s, start, end):
    """Top-level comma-separated spans of s[start:end]."""
    spans, depth, begin = [], 0, start
    for j in range(start, end):
        if s[j] in "([{":
            depth += 1
        elif s[j] in ")]}":
            depth -= 1
        elif s[j] == "," and depth == 0:
            spans.append((begin, j))
            begin = j + 1
    spans.append((begin, end))
    out = []
    for a, b in spans:
        while a < b and s[a].isspace():
            a += 1
        while b > a and s[b - 1].isspace():
            b -= 1
        out.append((a, b))
    return out


NUM_RE = re.compile(r"^-?(0[xX][0-9A-Fa-f]+|\d+(\.\d*)?([eE][-+]?\d+)?)[uUlLfF]*$")
IDENT_RE = re.compile(r"^[A-Za-z_][\w]*((\.|->|::)[A-Za-z_]\w*)*(\(\))?$")


def arg_kind(masked_arg):
    if masked_arg in ("true", "false"):
        return "bool"
    if NUM_RE.match(masked_arg):
        return "number"
    if re.match(r'^(u8|u|U|L)?"[\x01]*"$', masked_arg):
        return "string"
    if re.match(r"^'[\x01]+'$", masked_arg):
        return "char"
    if IDENT_RE.match(masked_arg):
        return "name"
    return None


class Mutant:
    def __init__(self, path, line, col, op, original, mutated, change):
        self.path, self.line, self.col, self.op = path, line, col, op
        self.original, self.mutated, self.change = original, mutated, change

    @property
    def key(self):
        return f"{self.path}|{self.original.strip()}|{self.mutated.strip()}"

    def as_dict(self):
        return dict(path=self.path, line=self.line, col=self.col, op=self.op,
                    original=self.original, mutated=self.mutated, change=self.change)


def constant_index(files):
    """Named constants and enumerators with their neighbours: {name: [neighbours]}.
    A group is one enumeration, or a run of consecutive constant declarations of one
    type; a name declared twice anywhere is left out."""
    groups, seen = [], {}
    decl_re = re.compile(r"^\s*(?:static\s+)?(?:inline\s+)?constexpr\s+([\w:<>]+(?:\s*\*)?)\s+(\w+)\s*=\s*[^;{]+;")
    define_re = re.compile(r"^\s*#\s*define\s+([A-Z][A-Z0-9_]+)\s+\(?[-\w'x]+\)?\s*$")
    for rel in files:
        text = open(os.path.join(ROOT, rel), encoding="utf-8", errors="replace").read()
        masked, _ = mask_source(text)
        joined = "\n".join(masked)
        for m in re.finditer(r"\benum\b(\s+(class|struct))?(\s+\w+)?(\s*:\s*[\w:]+)?\s*\{([^{}]*)\}", joined):
            names = []
            for part in m.group(5).split(","):
                ident = re.match(r"\s*([A-Za-z_]\w*)", part)
                if ident:
                    names.append(ident.group(1))
            groups.append(names)
        run, run_type, last_line = [], None, -10
        for ln, line in enumerate(masked):
            d = decl_re.match(line)
            f = define_re.match(line) if not d else None
            if d or f:
                typ, name = (d.group(1), d.group(2)) if d else ("#define", f.group(1))
                if typ != run_type or ln > last_line + 2:
                    if len(run) > 1:
                        groups.append(run)
                    run, run_type = [], typ
                run.append(name)
                last_line = ln
        if len(run) > 1:
            groups.append(run)
    neighbours = {}
    for names in groups:
        for k, name in enumerate(names):
            seen[name] = seen.get(name, 0) + 1
            near = [names[j] for j in (k - 1, k + 1) if 0 <= j < len(names)]
            neighbours[name] = near
    return {name: near for name, near in neighbours.items() if seen[name] == 1 and near}


def declaration_names(masked_line):
    m = re.match(r"^\s*(?:static\s+)?(?:inline\s+)?constexpr\s+[\w:<>]+(?:\s*\*)?\s+(\w+)\s*=", masked_line)
    if m:
        return {m.group(1)}
    m = re.match(r"^\s*#\s*define\s+(\w+)", masked_line)
    return {m.group(1)} if m else set()


def mutants_of_file(rel, constants):
    text = open(os.path.join(ROOT, rel), encoding="utf-8", errors="replace").read()
    lines = text.split("\n")
    masked, strings = mask_source(text)
    out = []
    in_enum_body = False

    def add(ln, col, op, new_line, change):
        out.append(Mutant(rel, ln + 1, col, op, lines[ln], new_line, change))

    prev_end = ";"
    for ln, (line, m) in enumerate(zip(lines, masked)):
        stripped = m.strip()
        if not stripped:
            continue
        if stripped.startswith("#"):
            prev_end = ";"
            continue
        if re.search(r"\benum\b", m):
            in_enum_body = "}" not in m
        elif in_enum_body and "}" in m:
            in_enum_body = False
        quiet = re.search(r"\b(qDebug|qInfo|Q_OBJECT|Q_PROPERTY|Q_DECLARE\w*|static_assert)\b", m)

        # an integer literal +/- 1
        for mm in re.finditer(r"(?<![\w.'])(0[xX][0-9A-Fa-f]+|\d+)([uUlL]*)(?![\w.'])", m):
            if quiet:
                break
            digits = mm.group(1)
            value = int(digits, 16) if digits[:2].lower() == "0x" else int(digits)
            for delta in (1, -1):
                nv = value + delta
                if nv < 0:
                    continue
                if digits[:2].lower() == "0x":
                    width = len(digits) - 2
                    new = "0x%0*X" % (width, nv) if digits[2:].upper() == digits[2:] else "0x%0*x" % (width, nv)
                else:
                    new = str(nv)
                add(ln, mm.start(), "literal", line[:mm.start(1)] + new + line[mm.end(1):],
                    f"{digits} -> {new}")

        # relational and equality operators
        swap = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
        for mm in re.finditer(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)", m):
            if stripped.startswith("template") or quiet:
                continue
            op = mm.group(1)
            add(ln, mm.start(), "relational", line[:mm.start()] + swap[op] + line[mm.end():],
                f"{op} -> {swap[op]}")

        # && <-> ||
        for mm in re.finditer(r"(?<=\s)(&&|\|\|)(?=\s)", m):
            new = "||" if mm.group(1) == "&&" else "&&"
            add(ln, mm.start(), "logical", line[:mm.start()] + new + line[mm.end():],
                f"{mm.group(1)} -> {new}")

        # a condition negated
        for mm in re.finditer(r"\b(if|while)\s*\(", m):
            if re.match(r"\s*constexpr", m[mm.end() - 1:]) or m[mm.end():].startswith("constexpr"):
                continue
            open_pos = mm.end() - 1
            close = matching_paren(m, open_pos)
            if close < 0:
                continue
            cond = line[open_pos + 1:close]
            if ";" in m[open_pos:close] or re.search(r"\b(auto|const|int|bool)\b\s+\w+\s*=", m[open_pos:close]):
                continue
            add(ln, mm.start(), "negate", line[:open_pos + 1] + "!(" + cond + ")" + line[close:],
                f"{mm.group(1)} ({cond}) -> {mm.group(1)} (!({cond}))")

        # two adjacent arguments of the same kind swapped
        for mm in re.finditer(r"\b([A-Za-z_]\w*)\s*\(", m):
            if mm.group(1) in KEYWORDS or quiet:
                continue
            open_pos = mm.end() - 1
            close = matching_paren(m, open_pos)
            if close < 0:
                continue
            args = split_args(m, open_pos + 1, close)
            if len(args) < 2:
                continue
            for (a0, a1), (b0, b1) in zip(args, args[1:]):
                ka, kb = arg_kind(m[a0:a1]), arg_kind(m[b0:b1])
                if ka is None or ka != kb or line[a0:a1] == line[b0:b1]:
                    continue
                new = line[:a0] + line[b0:b1] + line[a1:b0] + line[a0:a1] + line[b1:]
                add(ln, a0, "swap", new, f"{mm.group(1)}(.. {line[a0:a1]}, {line[b0:b1]} ..) swapped")

        # a call on its own line deleted
        if prev_end in ";{}:" and stripped.endswith(";") and not quiet:
            body = stripped[:-1].rstrip()
            first = re.match(r"(?:emit\s+|Q_EMIT\s+)?([A-Za-z_][\w]*)", body)
            call = re.sub(r"^(emit|Q_EMIT)\s+", "", body)
            in_header = rel.endswith(".h") and not re.search(r"\.|->", body.split("(")[0])
            if first and first.group(1) not in KEYWORDS and body.endswith(")") and not in_header \
                    and not re.match(r"^[\w:<>,*&\s]*[\w>*&]\s+[*&]?\w+\s*[({]", call) \
                    and not re.search(r"(?<![=!<>])=(?!=)", body):
                open_pos = body.find("(")
                if open_pos > 0 and matching_paren(body, open_pos) == len(body) - 1 or \
                        re.match(r"^[\w:.\->()\[\]]*\)$", body):
                    indent = line[:len(line) - len(line.lstrip())]
                    add(ln, len(indent), "delete", indent + ";", f"deleted: {line.strip()}")
        if stripped:
            prev_end = stripped[-1]

        # a string literal changed
        if not quiet and not re.search(r'\bextern\s+"', m):
            for (s0, s1) in strings[ln]:
                content = line[s0 + 1:s1 - 1]
                if content.startswith("\\") or not content:
                    new_content = "#" + content
                else:
                    new_content = ("@" if content[0] == "#" else "#") + content[1:]
                new = line[:s0 + 1] + new_content + line[s1 - 1:]
                add(ln, s0, "string", new, f'"{content}" -> "{new_content}"')

        # an enumerator or named constant replaced by its neighbour
        if in_enum_body or re.search(r"\benum\b", m):
            continue
        declared = declaration_names(m)
        for mm in re.finditer(r"(?<![\w.>])([A-Za-z_]\w*)\b", m):
            name = mm.group(1)
            if name not in constants or name in declared:
                continue
            for near in constants[name]:
                add(ln, mm.start(), "constant", line[:mm.start()] + near + line[mm.end():],
                    f"{name} -> {near}")
    return out


def code_lines(rel):
    masked, _ = mask_source(open(os.path.join(ROOT, rel), encoding="utf-8", errors="replace").read())
    return sum(1 for m in masked if m.strip() and not m.strip().startswith("#"))


# ---------------------------------------------------------------------------------
# The work folder: a copy of the tree and its build

def run(cmd, timeout=None, **kw):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          timeout=timeout, **kw)


VIEW_ENV = "TELVANE_MUTANTS_VIEW"  # set inside the namespace: where the work folder is seen


def tracked_files():
    listed = os.environ.get(VIEW_ENV) and os.path.join(os.environ[VIEW_ENV], "files.json")
    if listed:
        return json.load(open(listed))
    out = subprocess.run(["git", "-C", ROOT, "ls-files", "-co", "--exclude-standard", "-z"],
                         stdout=subprocess.PIPE, check=True).stdout.decode()
    return [f for f in out.split("\0") if f and not f.startswith(".mutants")]


def copy_if_changed(src, dst, by_content):
    """Copies src over dst, with its time, unless dst already holds the same."""
    st = os.stat(src)
    if os.path.isfile(dst):
        if by_content:
            with open(src, "rb") as a, open(dst, "rb") as b:
                if a.read() == b.read():
                    os.utime(dst, ns=(st.st_atime_ns, st.st_mtime_ns))  # a restored mutant's touch
                    return False
        else:
            dt = os.stat(dst)
            if dt.st_size == st.st_size and dt.st_mtime_ns == st.st_mtime_ns:
                return False
    os.makedirs(os.path.dirname(dst), exist_ok=True)
    if os.path.isfile(dst):
        os.remove(dst)  # never write through into a file that may be shared
    shutil.copy2(src, dst)
    return True


def prepare(folder, build_name):
    """On the host: copies the checkout's files and its build folder into folder/tree,
    keeping their times, so the copied build is up to date for the copied sources."""
    tree = os.path.join(folder, "tree")
    build = os.path.join(ROOT, build_name)
    if not os.path.isfile(os.path.join(build, "CMakeCache.txt")):
        sys.exit(f"no build in {build}: build the tree first (scripts/test.sh)")
    files = tracked_files()
    # The build folder is copied over whatever the copy's build holds, so a file left
    # mutated by an interrupted run and everything built from it go back together.
    for rel in files:
        if os.path.isfile(os.path.join(ROOT, rel)):
            copy_if_changed(os.path.join(ROOT, rel), os.path.join(tree, rel), True)
    for dirpath, dirnames, names in os.walk(build):
        dirnames[:] = [d for d in dirnames if d not in ("Testing",) and not d.startswith(".mutants")]
        for name in names:
            src = os.path.join(dirpath, name)
            if os.path.isfile(src) and not os.path.islink(src):
                copy_if_changed(src, os.path.join(tree, os.path.relpath(src, ROOT)), False)
    os.makedirs(os.path.join(tree, ".mutants-view"), exist_ok=True)
    json.dump(files, open(os.path.join(folder, "files.json"), "w"))


class Work:
    """Inside the namespace: the copy of the tree is mounted over the checkout's own
    path, so its copied build (whose files name that path) is valid as it is, and the
    work folder is seen at ROOT/.mutants-view."""

    def __init__(self, build_name, jobs):
        self.folder = os.environ[VIEW_ENV]
        self.tree = ROOT
        self.build = os.path.join(ROOT, build_name)
        self.jobs = jobs
        # Never mutate a checkout: the tree seen here must be the work folder's copy.
        a, b = os.stat(self.tree), os.stat(os.path.join(self.folder, "tree"))
        if (a.st_dev, a.st_ino) != (b.st_dev, b.st_ino):
            sys.exit("the tree seen here is not the work folder's copy: refusing to mutate it")
        home = os.path.join(self.folder, "home")
        for sub in ("config", "data", "runtime"):
            os.makedirs(os.path.join(home, sub), exist_ok=True)
        os.chmod(os.path.join(home, "runtime"), 0o700)
        self.env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=home,
                        XDG_CONFIG_HOME=os.path.join(home, "config"),
                        XDG_DATA_HOME=os.path.join(home, "data"),
                        XDG_RUNTIME_DIR=os.path.join(home, "runtime"))

    def make(self, targets, timeout, together=False):
        """Builds the targets. together: in one run of make over CMake's inner makefile,
        where their links go side by side and the tree is scanned once (the top-level
        makefile builds one target after another and scans the tree for each)."""
        cmd = ["cmake", "--build", self.build, "-j%d" % self.jobs, "--target"] + list(targets)
        if together:
            inner = open(os.path.join(self.build, "CMakeFiles", "Makefile2")).read()
            goals = [re.search(r"^(\S+/CMakeFiles/%s\.dir/all):" % re.escape(t), inner, re.M)
                     for t in targets]
            if all(goals):
                cmd = ["make", "-s", "-C", self.build, "-f", "CMakeFiles/Makefile2",
                       "-j%d" % self.jobs] + [g.group(1) for g in goals]
        proc = subprocess.Popen(cmd, env=self.env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                text=True, start_new_session=True)
        try:
            out, _ = proc.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.communicate()
            return False, "build timed out"
        return proc.returncode == 0, out

    def tests(self):
        """{ctest name: executable path}"""
        r = run(["ctest", "--show-only=json-v1"], cwd=self.build, env=self.env)
        data = json.loads(r.stdout[r.stdout.find("{"):])

        def executable(t):
            # A test run through a wrapper script (the keyring's) names its program later.
            name = t["name"].split("/")[-1]
            command = t.get("command") or [os.path.join(self.build, "tests", name)]
            return next((w for w in command if os.path.basename(w) == name), command[0])
        return {t["name"]: executable(t) for t in data.get("tests", [])}

    def graph(self):
        """{executable target: every library target on its link line}. CMake writes the
        whole transitive set of static libraries onto an executable's link line, so the
        link scripts give it without running CMake again."""
        edges = {}
        for dirpath, _, names in os.walk(self.build):
            m = re.search(r"CMakeFiles/([^/]+)\.dir$", dirpath)
            if not m or "link.txt" not in names:
                continue
            words = open(os.path.join(dirpath, "link.txt")).read().split()
            edges[m.group(1)] = {re.sub(r"^lib|\.a$", "", os.path.basename(w))
                                 for w in words if w.endswith(".a")}
        return edges

    def object_deps(self):
        """{absolute source or header: set of object files that include it} and
        {object file: target}"""
        deps, owner = {}, {}
        for dirpath, _, names in os.walk(self.build):
            m = re.search(r"CMakeFiles/([^/]+)\.dir", dirpath)
            if not m:
                continue
            target = m.group(1)
            for name in names:
                if not name.endswith(".o.d"):
                    continue
                obj = os.path.join(dirpath, name[:-2])
                # relative names are relative to where the compiler ran (ccache's base_dir)
                cwd = dirpath[:dirpath.index(os.sep + "CMakeFiles" + os.sep)]
                owner[obj] = target
                text = open(os.path.join(dirpath, name), errors="replace").read()
                text = text.replace("\\\n", " ")
                for tok in text.split()[1:]:
                    p = os.path.normpath(tok if os.path.isabs(tok) else os.path.join(cwd, tok))
                    deps.setdefault(p, set()).add(obj)
        return deps, owner


def sha(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


STRONG = set("TDBRG")


def nm_symbols(path, strong_only):
    r = run(["nm", "-P", "--defined-only", path])
    out = set()
    for line in r.stdout.splitlines():
        parts = line.split()
        if len(parts) >= 2 and (parts[1] in STRONG if strong_only else parts[1].isupper()):
            out.add(parts[0])
    return out


class Plan:
    """What the build says about which tests can see a change to a file.

    Target level: the objects whose dependency files name the file, their targets, and
    every executable that links one of those (the link scripts). Object level: an
    object of a static library is in an executable only when the linker took it out
    of the archive, and then every global symbol it defines is in the executable's
    symbol table; an object that defines no strong global is taken as linked."""

    def __init__(self, work):
        self.work = work
        self.tests = work.tests()
        self.graph = work.graph()
        self.deps, self.owner = work.object_deps()
        self.exe_target = {t: os.path.basename(p) for t, p in self.tests.items()}
        self.programs = {"telvane": os.path.join(work.build, "bin", "Telvane4"),
                         "telvane-recorder-sim": os.path.join(work.build, "bin", "telvane-recorder-sim")}
        self.exe_path = {self.exe_target[t]: p for t, p in self.tests.items()}
        self.exe_path.update(self.programs)
        self._exe_syms, self._obj_syms, self._closure = {}, {}, {}
        # tests that start the program or the simulator (by the test's own sources)
        sources_of = {}
        for src, objs in self.deps.items():
            for obj in objs:
                sources_of.setdefault(self.owner[obj], set()).add(src)
        self.starts = {}
        for test, target in self.exe_target.items():
            uses = set()
            for src in sources_of.get(target, ()):
                if "/tests/" in src and "/support/" not in src and os.path.isfile(src):
                    body = open(src, errors="replace").read()
                    if "simulatorPath()" in body:
                        uses.add("telvane-recorder-sim")
                    if "appPath()" in body:
                        uses.add("telvane")
            self.starts[test] = uses

    def library_of(self, rel):
        objs = self.deps.get(os.path.join(self.work.tree, rel), set())
        own = sorted(self.owner[o] for o in objs if o.endswith(os.path.basename(rel) + ".o"))
        if own:
            return own[0]
        folder = os.path.dirname(os.path.join(self.work.tree, rel))
        for src, objs in sorted(self.deps.items()):
            if os.path.dirname(src) == folder and src.endswith(".cpp"):
                return sorted(self.owner[o] for o in objs)[0]
        return "?"

    def exe_symbols(self, exe_target):
        if exe_target not in self._exe_syms:
            path = self.exe_path[exe_target]
            self._exe_syms[exe_target] = nm_symbols(path, False) if os.path.isfile(path) else None
        return self._exe_syms[exe_target]

    def contains(self, exe_target, obj):
        """Whether obj is linked into the executable exe_target."""
        if self.owner[obj] == exe_target:
            return True
        if self.owner[obj] not in self.linked_closure_down(exe_target):
            return False
        if obj not in self._obj_syms:
            self._obj_syms[obj] = nm_symbols(obj, True) if os.path.isfile(obj) else set()
        syms, have = self._obj_syms[obj], self.exe_symbols(exe_target)
        return not syms or have is None or bool(syms & have)

    def linked_closure_down(self, target):
        if target in self._closure:
            return self._closure[target]
        seen, todo = set(), [target]
        while todo:
            t = todo.pop()
            for d in self.graph.get(t, ()):
                if d not in seen:
                    seen.add(d)
                    todo.append(d)
        self._closure[target] = seen
        return seen

    def tests_for(self, rel):
        """(tests that can see a change to rel, programs those tests start that contain it)"""
        objs = self.deps.get(os.path.join(self.work.tree, rel), set())
        hit = {exe for exe in self.exe_path if any(self.contains(exe, o) for o in objs)}
        chosen, programs = [], set()
        for test, target in self.exe_target.items():
            starts = self.starts[test] & hit
            if target in hit or starts:
                chosen.append(test)
                programs |= starts
        return chosen, programs


# ---------------------------------------------------------------------------------
# Running

def run_test(work, test, limit):
    """Runs one test with ctest; the time limit is kept here, since a test's own TIMEOUT
    property would override ctest's --timeout."""
    start = time.time()
    proc = subprocess.Popen(["ctest", "-R", "^" + re.escape(test) + "$", "--output-on-failure",
                             "--timeout", str(int(limit))], cwd=work.build, env=work.env,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                            start_new_session=True)
    try:
        out, _ = proc.communicate(timeout=limit)
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.communicate()
        return "timeout", time.time() - start, ""
    if "***Timeout" in out:
        return "timeout", time.time() - start, out
    if proc.returncode == 0 and "100% tests passed" in out:
        return "pass", time.time() - start, out
    return "fail", time.time() - start, out


def exe_hashes(work, plan, names):
    hashes = {}
    for test in names:
        p = plan.tests[test]
        if os.path.isfile(p):
            hashes[plan.exe_target[test]] = sha(p)
    for prog, p in plan.programs.items():
        if os.path.isfile(p):
            hashes[prog] = sha(p)
    return hashes


def baseline(work, plan, names, hashes, state_path):
    """Runs each test once on the unmutated tree (again only when its executable, or a
    program it starts, changed since); keeps times and failures."""
    state = json.load(open(state_path)) if os.path.isfile(state_path) else {}
    for test in names:
        stamp = [hashes.get(plan.exe_target[test])] + [hashes.get(p) for p in sorted(plan.starts[test])]
        if state.get(test, {}).get("stamp") == stamp:
            continue
        print(f"  baseline {test} ...", end="", flush=True)
        status, secs, _ = run_test(work, test, 900)
        state[test] = {"status": status, "seconds": round(secs, 2), "stamp": stamp}
        print(f" {status} {secs:.1f}s", flush=True)
        json.dump(state, open(state_path, "w"), indent=1)
    return state


def order_tests(rel, names, base):
    stem = os.path.splitext(os.path.basename(rel))[0].lower()
    area = rel.split("/")[1] if rel.count("/") > 1 else ""

    def key(test):
        area_t, exe = test.split("/", 1) if "/" in test else ("", test)
        unit = exe.replace("test_", "").split("_")[0]
        near = 0 if unit and (unit in stem or stem in exe) else 1 if area_t == area else 2
        return (near, base.get(test, {}).get("seconds", 999))
    return sorted(names, key=key)


def try_mutant(work, plan, mutant, base, hashes, args):
    path = os.path.join(work.tree, mutant.path)
    original = open(path, encoding="utf-8", errors="replace").read()
    lines = original.split("\n")
    assert lines[mutant.line - 1] == mutant.original, "tree out of step with the checkout"
    lines[mutant.line - 1] = mutant.mutated
    started = time.time()
    result = {"status": None, "tests_run": [], "killed_by": None}
    try:
        with open(path, "w", encoding="utf-8") as f:
            f.write("\n".join(lines))
        tests, programs = plan.tests_for(mutant.path)
        tests = [t for t in order_tests(mutant.path, tests, base) if base.get(t, {}).get("status") == "pass"]
        if not tests:
            result["status"] = "no tests"
            return result
        # Each test's build brings its executable and the programs it starts that contain
        # the mutated file, no more: a mutant the nearest unit test kills does not wait
        # for the whole program and the simulator to link. The first build compiles the
        # mutated file; a failure there discards the mutant. The tests are built in
        # chunks of 1, 1, 2, 4, 8 ... in one make run each, whose links go side by side:
        # a mutant killed early waits for little more than its killer, a survivor's many
        # links are not made one by one. Should a chunk fail, its test is built alone.
        built, changed_programs = set(), set()
        any_changed, ready = False, 0
        for i, test in enumerate(tests):
            target = plan.exe_target[test]
            if i >= ready:
                chunk = tests[i:i + max(1, i)]
                starts = sorted(set().union(*(plan.starts[t] for t in chunk)) & programs - built)
                ok, log = work.make(sorted({plan.exe_target[t] for t in chunk}) + starts,
                                    args.build_timeout, together=len(chunk) > 1)
                if not ok and len(chunk) > 1:
                    chunk, starts = [test], sorted(plan.starts[test] & programs - built)
                    ok, log = work.make([target] + starts, args.build_timeout)
                if not ok:
                    if i == 0:
                        # a build past the limit (a header that half the tree includes)
                        # is not a verdict on the mutant: left out and named in the report
                        result["status"] = "discarded" if log != "build timed out" else "build too long"
                        result["why"] = "does not compile" if log != "build timed out" else log
                    else:
                        result["status"] = "discarded"
                        result["why"] = "a test target does not build"
                    return result
                ready = i + len(chunk)
                built.update(starts)
                changed_programs.update(p for p in starts if sha(plan.programs[p]) != hashes.get(p))
            exe_changed = sha(plan.tests[test]) != hashes.get(target)
            if not exe_changed and not (plan.starts[test] & changed_programs):
                continue  # the very programs that passed at the baseline
            any_changed = True
            limit = max(args.min_timeout, args.timeout_factor * base[test]["seconds"])
            status, secs, out = run_test(work, test, limit)
            result["tests_run"].append([test, status, round(secs, 1)])
            if status in ("fail", "timeout"):
                result["status"] = "killed" if status == "fail" else "timed out"
                result["killed_by"] = test
                return result
        result["status"] = "survived"
        if not any_changed:
            result["same_binaries"] = True
        return result
    finally:
        with open(path, "w", encoding="utf-8") as f:
            f.write(original)
        now = time.time()
        os.utime(path, (now, now))
        result["seconds"] = round(time.time() - started, 1)


# ---------------------------------------------------------------------------------
# Choosing mutants

def tree_stamp():
    """One hash of every tracked file the build and the tests read (not the scripts)."""
    h = hashlib.sha256()
    for rel in sorted(tracked_files()):
        if rel.startswith(("src/", "tests/", "tools/", "CMakeLists.txt")) and os.path.isfile(os.path.join(ROOT, rel)):
            h.update(rel.encode() + b"\0" + open(os.path.join(ROOT, rel), "rb").read())
    return h.hexdigest()[:16]


def product_files(pattern):
    files = [f for f in tracked_files() if f.startswith("src/") and f.endswith((".cpp", ".h"))]
    if pattern:
        files = [f for f in files if fnmatch.fnmatch(f, pattern)]
    return sorted(files)


def changed_lines(base):
    out = run(["git", "-C", ROOT, "diff", "-U0", base, "--", "src"]).stdout
    lines, current = {}, None
    for line in out.splitlines():
        if line.startswith("+++ "):
            current = line[6:] if line.startswith("+++ b/") else None
        m = re.match(r"@@ -\S+ \+(\d+)(?:,(\d+))? @@", line)
        if m and current:
            start, count = int(m.group(1)), int(m.group(2) or "1")
            lines.setdefault(current, set()).update(range(start, start + count))
    return lines


def draw_order(by_file, library, weights, rng):
    """Yields (mutant, library) in sampling order: one per library first, then by lines."""
    # file -> operator -> mutants: a file is drawn by its lines, then an operator it
    # offers, then one of its mutants, so the many literals do not crowd out the rest
    pools = {}
    for f, ms in sorted(by_file.items()):
        for m in ms:
            pools.setdefault(f, {}).setdefault(m.op, []).append(m)
    for ops in pools.values():
        for ms in ops.values():
            rng.shuffle(ms)

    def pick(files):
        files = [f for f in files if pools[f]]
        if not files:
            return None
        f = rng.choices(files, weights=[weights[x] for x in files])[0]
        op = rng.choice(sorted(pools[f]))
        m = pools[f][op].pop()
        if not pools[f][op]:
            del pools[f][op]
        return m

    libs = sorted({library[f] for f in pools})
    for lib in libs:
        while True:
            m = pick([f for f in pools if library[f] == lib])
            if m is None:
                break
            got = yield m
            if got != "discarded":
                break
    while True:
        m = pick(list(pools))
        if m is None:
            return
        yield m


def advance(gen, status):
    try:
        return gen.send(status)
    except StopIteration:
        return None


# ---------------------------------------------------------------------------------
# The report

def load_notes(path):
    notes = {}
    if path and os.path.isfile(path):
        for line in open(path, encoding="utf-8"):
            if "\t" in line and not line.startswith("#"):
                key, note = line.rstrip("\n").rsplit("\t", 1)
                notes[key] = note
    return notes


def report(results, notes, header):
    counted = [r for r in results if r["status"] in ("killed", "survived", "timed out")]
    killed = sum(r["status"] == "killed" for r in counted)
    timed = sum(r["status"] == "timed out" for r in counted)
    survived = [r for r in counted if r["status"] == "survived"]
    equivalent = [r for r in survived if notes.get(r["key"], "").lower().startswith("equivalent")]
    discarded = sum(r["status"] == "discarded" for r in results)
    too_long = [r for r in results if r["status"] == "build too long"]
    lines = [header, ""]
    total = len(counted)
    rate = 100.0 * (killed + timed) / total if total else 0.0
    real = total - len(equivalent)
    rate_real = 100.0 * (killed + timed) / real if real else 0.0
    lines.append(f"Counted {total}: killed {killed}, timed out {timed}, survived {len(survived)} "
                 f"({len(equivalent)} noted equivalent); discarded (do not compile) {discarded}.")
    lines.append(f"Kill rate {rate:.1f} % of all counted; {rate_real:.1f} % of the non-equivalent.")
    for r in too_long:
        lines.append(f"Left out, build over the limit: {r['path']}:{r['line']} `{r['change']}`")
    by_op = {}
    for r in counted:
        k = by_op.setdefault(r["op"], [0, 0])
        k[0] += 1
        k[1] += r["status"] != "survived"
    lines.append("By operator: " + ", ".join(f"{op} {k}/{n}" for op, (n, k) in sorted(by_op.items())))
    lines.append("")
    lines.append("| # | status | file:line | change | note |")
    lines.append("|---|---|---|---|---|")
    for r in results:
        if r["status"] not in ("killed", "survived", "timed out"):
            continue
        note = notes.get(r["key"], "")
        if not note and r.get("same_binaries"):
            note = "equivalent: every program built from it is byte for byte the baseline's"
        change = r["change"].replace("|", "\\|")
        by = f" ({r['killed_by']})" if r.get("killed_by") else ""
        lines.append(f"| {r['n']} | {r['status']}{by} | {r['path']}:{r['line']} | `{change}` | {note} |")
    return "\n".join(lines)


# ---------------------------------------------------------------------------------

def enter_view(args):
    """Prepares the work folder on the host, then runs the script again in a private
    network namespace (loopback only) and mount namespace, where the tree's copy is
    mounted over the checkout's path. Returns only inside."""
    if os.environ.get(VIEW_ENV):
        return
    folder = os.path.abspath(args.work)
    os.makedirs(folder, exist_ok=True)
    print(f"copying the tree and {args.build} into {folder} ...", flush=True)
    prepare(folder, args.build)
    if args.diff:
        json.dump({k: sorted(v) for k, v in changed_lines(args.diff).items()},
                  open(os.path.join(folder, "diff.json"), "w"))
    view = os.path.join(ROOT, ".mutants-view")
    q = shlex.quote
    inner = (f"ip link set lo up && mount --bind {q(folder)} {q(os.path.join(folder, 'tree', '.mutants-view'))}"
             f" && mount --rbind {q(os.path.join(folder, 'tree'))} {q(ROOT)}"
             f" && exec {q(sys.executable)} {q(os.path.join(ROOT, 'scripts', 'mutants.py'))} "
             + " ".join(q(a) for a in sys.argv[1:]))
    env = dict(os.environ, **{VIEW_ENV: view})
    for unshare in (["unshare", "-n", "-m", "--propagation", "private"], ["unshare", "-r", "-n", "-m"]):
        if unshare[1] == "-n" and os.geteuid() != 0:
            continue
        if subprocess.run(unshare + ["true"], stderr=subprocess.DEVNULL).returncode == 0:
            os.execvpe(unshare[0], unshare + ["bash", "-c", inner], env)
    if args.self_check:
        print("WARNING: mutation self-check skipped: no private network and mount namespace "
              "(unshare -nm / -rnm) on this machine", file=sys.stderr)
        sys.exit(0)
    sys.exit("no private network and mount namespace available (unshare -nm / -rnm): not running")


def self_check(args):
    work = Work(args.build, args.jobs)
    sc = SELF_CHECK
    path = os.path.join(ROOT, sc["file"])
    lines = open(path, encoding="utf-8").read().split("\n")
    hits = [i for i, l in enumerate(lines) if sc["contains"] in l]
    if len(hits) != 1:
        sys.exit(f"self-check: the known line is gone from {sc['file']}; choose another")
    original = lines[hits[0]]
    mutant = Mutant(sc["file"], hits[0] + 1, 0, "literal", original,
                    original.replace(sc["old"], sc["new"], 1), f"{sc['old']} -> {sc['new']}")
    plan = Plan(work)
    test = [t for t, tg in plan.exe_target.items() if tg == sc["test"]][0]
    ok, log = work.make([sc["test"]], args.build_timeout)
    if not ok:
        sys.exit("self-check: the unmutated test does not build:\n" + log[-3000:])
    status, secs, out = run_test(work, test, 300)
    if status != "pass":
        sys.exit("self-check: the unmutated test does not pass:\n" + out[-3000:])
    hashes = exe_hashes(work, plan, [test])
    plan.tests_for = lambda rel: ([test], set())
    result = try_mutant(work, plan, mutant, {test: {"status": "pass", "seconds": secs}}, hashes, args)
    print(f"self-check: {sc['file']}:{mutant.line} {mutant.change}: {result['status']}")
    if result["status"] != "killed":
        sys.exit(1)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--sample", type=int, help="how many mutants to count (compiling ones)")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--files", help="glob of product files, e.g. 'src/archive/*'")
    ap.add_argument("--diff", metavar="BASE", help="only lines changed since BASE (git)")
    ap.add_argument("--keys", metavar="FILE",
                    help="only the mutants listed in FILE, a line each as --list prints them "
                         "(path:line change), e.g. a sample's survivors after sharpening")
    ap.add_argument("--list", action="store_true", help="list the drawn mutants; build nothing")
    ap.add_argument("--self-check", action="store_true", help="one known mutant must be killed")
    ap.add_argument("--work", default=os.path.join(ROOT, ".mutants"), help="work folder")
    ap.add_argument("--build", default="build", help="the checkout's build folder to copy")
    ap.add_argument("--jobs", type=int, default=1, help="build jobs (default 1)")
    ap.add_argument("--nice", type=int, default=15)
    ap.add_argument("--min-timeout", type=float, default=30, help="least seconds a test may take")
    ap.add_argument("--timeout-factor", type=float, default=3, help="x the test's baseline time")
    ap.add_argument("--build-timeout", type=float, default=1200)
    ap.add_argument("--notes", help="TSV of 'key<TAB>note' for survivors (key as in the results); "
                                    "the project's are in scripts/mutation/mutants-notes.tsv")
    ap.add_argument("--out", help="report file (default: in the work folder)")
    ap.add_argument("--resume", action="store_true",
                    help="keep the verdicts of an earlier run of the same draw on the same sources")
    ap.add_argument("--report", metavar="RESULTS", help="only print the report of a results file (.jsonl)")
    args = ap.parse_args()

    if args.report:
        results = [json.loads(line) for line in open(args.report)]
        print(report(results, load_notes(args.notes), f"## Mutants: {os.path.basename(args.report)}"))
        return

    if not args.list:
        enter_view(args)
        os.nice(args.nice)
    if args.self_check:
        return self_check(args)

    files = product_files(args.files)
    constants = constant_index(product_files(None))
    only = None
    if args.diff:
        only = {k: set(v) for k, v in json.load(open(os.path.join(os.environ[VIEW_ENV], "diff.json"))).items()} \
            if os.environ.get(VIEW_ENV) else changed_lines(args.diff)
    keys = None
    if args.keys:  # "[n] path:line [op] change", as --list prints, or without n and op
        keys = {re.sub(r"^\s*(?:\d+\s+)?(\S+:\d+) (?:\[\w+\] )?", r"\1 ", k.rstrip())
                for k in open(args.keys) if k.strip()}
    by_file, weights = {}, {}
    for rel in files:
        ms = mutants_of_file(rel, constants)
        if only is not None:
            ms = [m for m in ms if m.line in only.get(rel, set())]
        if keys is not None:
            ms = [m for m in ms if f"{m.path}:{m.line} {m.change}" in keys]
        if ms:
            by_file[rel] = ms
            weights[rel] = max(1, code_lines(rel))
    total = sum(len(v) for v in by_file.values())
    want = args.sample or total
    rng = random.Random(args.seed)

    if args.list:
        library = {f: f.split("/")[1] for f in by_file}
        gen = draw_order(by_file, library, weights, rng)
        m = next(gen, None)
        for k in range(want):
            if m is None:
                break
            print(f"{k + 1:4} {m.path}:{m.line} [{m.op}] {m.change}")
            m = advance(gen, None) if k + 1 < want else None
        print(f"{total} candidate mutants in {len(by_file)} files")
        return

    work = Work(args.build, args.jobs)
    state_path = os.path.join(work.folder, "baseline.json")
    print("bringing the copied build up to date ...", flush=True)
    targets = sorted({os.path.basename(p) for p in work.tests().values()})
    ok, log = work.make(targets + ["telvane", "telvane-recorder-sim"], args.build_timeout * 4)
    if not ok:
        sys.exit("the unmutated tree does not build:\n" + log[-3000:])
    plan = Plan(work)
    library = {f: plan.library_of(f) for f in by_file}
    names = sorted(plan.tests)
    hashes = exe_hashes(work, plan, names)
    base = baseline(work, plan, names, hashes, state_path)
    failing = [t for t in names if base[t]["status"] != "pass"]
    if failing:
        print("not passing at the baseline, left out: " + ", ".join(failing))

    tag = ("diff-" + re.sub(r"[^\w.-]", "_", args.diff)) if args.diff else \
        ("keys-" + re.sub(r"[^\w.-]", "_", os.path.basename(args.keys))) if args.keys else f"seed-{args.seed}"
    results_path = os.path.join(work.folder, f"results-{tag}.jsonl")
    notes = load_notes(args.notes)
    results, counted = [], 0
    stamp = tree_stamp()
    earlier = []
    if args.resume and os.path.isfile(results_path):
        earlier = [json.loads(line) for line in open(results_path)]
    gen = draw_order(by_file, library, weights, rng)
    m = next(gen, None)
    with open(results_path, "w") as log:
        while m is not None and counted < want:
            # --resume: the same draw on the same sources gives the same verdict; a
            # time-out is run again (it may have been a pause of the machine)
            prev = earlier.pop(0) if earlier else None
            same = prev and prev.get("key") == m.key and prev.get("line") == m.line \
                and prev.get("tree") == stamp
            if not same:
                earlier = []  # another draw or other sources from here on
            if same and prev["status"] != "timed out":
                res = {k: prev[k] for k in ("status", "tests_run", "killed_by", "seconds", "why",
                                            "same_binaries") if k in prev}
            else:
                res = try_mutant(work, plan, m, base, hashes, args)
            entry = dict(m.as_dict(), key=m.key, library=library[m.path], tree=stamp, **res)
            if res["status"] in ("killed", "survived", "timed out"):
                counted += 1
                entry["n"] = counted
            results.append(entry)
            log.write(json.dumps(entry) + "\n")
            log.flush()
            print(f"[{counted}/{want}] {res['status']:9} {res['seconds']:6.1f}s "
                  f"{m.path}:{m.line} {m.change}"
                  + (f"  ({res['killed_by']})" if res.get("killed_by") else ""), flush=True)
            m = advance(gen, res["status"])
    header = f"## Mutants: {tag}" + (f", files {args.files}" if args.files else "") + f", {counted} counted"
    text = report(results, notes, header)
    out = args.out or os.path.join(work.folder, f"report-{tag}.md")
    open(out, "w").write(text + "\n")
    print(text)


if __name__ == "__main__":
    main()
