#!/usr/bin/env python3
"""The list of the numbers that the mutation check moves (tests/traffic/mutations.txt): the traffic
engine's rules, the feed's traffic lines, and a sample of the other subsystems' rules.

    mutation_list.py check ROOT LIST
        Every number written in the files of SCANNED under ROOT (the traffic engine's sources and
        the feed's traffic line) other than 0 and 1, outside texts and comments, must be moved by a
        line of the list or excused by one; prints each one that is neither and each line that does
        not fit its source, and exits 1 when there is any. Lines for other files are checked to fit.
    mutation_list.py switch ROOT LIST FILTER CHANGES EXCUSED
        Rewrites the sources under ROOT (a scratch copy) so that every number moved by a list line
        whose text contains FILTER (or, for @FILE, that stands in FILE) stands behind a switch read
        at start; writes the switches to CHANGES and the excused lines to EXCUSED (tab-separated).

The list's lines are `file|original|down|up` or `excused|file|original|reason`, where "\\|" is a "|"
inside a text and "\\n" the end of a source line. A line is found by its text, not its line number:
the original must stand exactly once in its file, and the three texts must differ in numbers only.
The numbers that differ between them are the ones the line moves; a number may be moved by one line
only. Several lines may share an original text when each moves other numbers of it; an excused text
excuses the numbers in it that no line moves.
"""
import glob
import os
import re
import sys

# One token of C++ source: a comment, a text, a character, a name or a number (its whole spelling).
TOKEN = re.compile(
    r"""//[^\n]*|/\*.*?\*/|R"([^(\s]*)\(.*?\)\1"|"(?:\\.|[^"\\\n])*"|'(?:\\.|[^'\\\n])*'"""
    r"""|[A-Za-z_]\w*|\.?\d(?:[eEpP][+-]|[\w.]|'(?=\w))*""",
    re.S,
)
# The files whose every number the list must reach.
SCANNED = ("traffic/*.cpp", "feed/traffic_line.cpp", "feed/traffic_line.hpp")


def numbers(text):
    """(start, end, spelling) of every number in C++ text, texts and comments left out."""
    out = []
    for m in TOKEN.finditer(text):
        s = m.group(0)
        if s[0].isdigit() or (s[0] == "." and len(s) > 1):
            out.append((m.start(), m.end(), s))
    return out


def value(spelling):
    s = spelling.replace("'", "")
    # A hex number's F is a digit; only the others' F is a suffix.
    s = s.rstrip("uUlL") if s.lower().startswith("0x") else s.rstrip("uUlLfF")
    try:
        return float(int(s, 0)) if re.fullmatch(r"0[xX][0-9a-fA-F]+|\d+", s) else float(s)
    except ValueError:
        return None


def skeleton(text):
    """The text with its numbers taken out, and the numbers."""
    found = numbers(text)
    rest, last = [], 0
    for start, end, _ in found:
        rest.append(text[last:start])
        last = end
    rest.append(text[last:])
    return rest, [s for _, _, s in found]


def read_list(path, problems):
    entries, excused = [], []
    name = os.path.basename(path)
    for n, line in enumerate(open(path, encoding="utf-8"), 1):
        line = line.rstrip("\n")
        if not line.strip() or line.startswith("#"):
            continue
        fields = [f.replace("\\|", "|").replace("\\n", "\n") for f in re.split(r"(?<!\\)\|", line)]
        where = f"{name}:{n}"
        if fields[0] == "excused":
            if len(fields) != 4 or not fields[3].strip():
                problems.append(f"{where}: an excused line is excused|file|original|reason")
            else:
                excused.append((where, line, fields[1], fields[2], fields[3]))
        elif len(fields) != 4:
            problems.append(f"{where}: a line is file|original|down|up")
        else:
            entries.append((where, line, *fields))
    return entries, excused


class Sources:
    def __init__(self, root):
        self.root = root
        self.texts = {}

    def text(self, path):
        if path not in self.texts:
            full = os.path.join(self.root, path)
            self.texts[path] = open(full, encoding="utf-8").read() if os.path.isfile(full) else None
        return self.texts[path]


def place(sources, path, orig, problems, where):
    """Where the original text stands in its file, or None (with the problem noted)."""
    text = sources.text(path)
    if text is None:
        problems.append(f"{where}: no file {path}")
        return None
    count = text.count(orig)
    if count != 1:
        problems.append(f"{where}: \"{orig}\" stands {count} times in {path}")
        return None
    return text.index(orig)


def switches(sources, entries, problems):
    """For each list line that fits: (line, path, [(start, end, original, down, up)]) in file order."""
    out, taken = [], {}
    for where, line, path, orig, down, up in entries:
        at = place(sources, path, orig, problems, where)
        if at is None:
            continue
        parts = [skeleton(t) for t in (orig, down, up)]
        if not (parts[0][0] == parts[1][0] == parts[2][0]):
            problems.append(f"{where}: \"{orig}\", \"{down}\" and \"{up}\" differ in more than numbers")
            continue
        inFile = [x for x in numbers(sources.text(path)) if at <= x[0] < at + len(orig)]
        moved = []
        for (start, end, o), d, u in zip(inFile, parts[1][1], parts[2][1]):
            if o == d == u:
                continue
            if value(d) == value(o) or value(u) == value(o):
                problems.append(f"{where}: {o} is moved one way only")
            if (path, start) in taken:
                problems.append(f"{where}: {o} is moved by {taken[(path, start)]} too")
                continue
            taken[(path, start)] = where
            moved.append((start, end, o, d, u))
        if not moved:
            problems.append(f"{where}: moves no number")
            continue
        out.append((where, line, path, moved))
    return out


def trivial(spelling):
    return value(spelling) in (0.0, 1.0)


def check(root, listPath):
    problems = []
    entries, excused = read_list(listPath, problems)
    sources = Sources(root)
    moved = set()
    for _, _, path, switched in switches(sources, entries, problems):
        moved.update((path, start) for start, _, _, _, _ in switched)
    reached = set(moved)
    # An excused text excuses the numbers in it that no line moves.
    for where, _, path, orig, _ in excused:
        at = place(sources, path, orig, problems, where)
        if at is None:
            continue
        inside = [x for x in numbers(sources.text(path)) if at <= x[0] < at + len(orig) and not trivial(x[2])]
        inside = [start for start, _, _ in inside if (path, start) not in moved]
        if not inside:
            problems.append(f"{where}: excuses no number")
        reached.update((path, start) for start in inside)
    missing = 0
    scanned = sorted({f for pattern in SCANNED for f in glob.glob(os.path.join(root, pattern))})
    for full in scanned:
        path = os.path.relpath(full, root)
        text = sources.text(path)
        for start, _, s in numbers(text):
            if trivial(s) or (path, start) in reached:
                continue
            lineNo = text.count("\n", 0, start) + 1
            lineText = text[text.rfind("\n", 0, start) + 1:text.find("\n", start)].strip()
            print(f"{path}:{lineNo}: {s} is neither moved nor excused: {lineText}")
            missing += 1
    for p in problems:
        print(p)
    if missing or problems:
        print(f"mutation list: {missing} numbers not reached, {len(problems)} lines that do not fit")
        return 1
    print(f"mutation list: every number of {', '.join(SCANNED)} is reached")
    return 0


# Guarded: a switched header and a switched source that includes it meet in one translation unit.
HEADER = (
    "#ifndef AMB_MUTATION_SWITCH\n"
    "#define AMB_MUTATION_SWITCH\n"
    "#include <cstdlib>\n"
    "namespace amb_mutation {\n"
    "inline int id() {\n"
    "  static const int v = [] { const char* e = std::getenv(\"AMB_MUTANT\"); return e ? std::atoi(e) : -1; }();\n"
    "  return v;\n"
    "}\n"
    "}  // namespace amb_mutation\n"
    "#define AMB_MUT(k, o, d, u) (::amb_mutation::id() == 2 * (k) ? (d) : ::amb_mutation::id() == 2 * (k) + 1 ? (u) : (o))\n"
    "#endif\n"
)


def switch(root, listPath, wanted, changesPath, excusedPath):
    problems = []
    entries, excused = read_list(listPath, problems)
    if wanted.startswith("@"):
        # The list lines given in a file, as they stand in the list.
        given = {l.rstrip("\n") for l in open(wanted[1:], encoding="utf-8")}
        keep = lambda line: line in given
    else:
        keep = lambda line: wanted in line
    entries = [e for e in entries if keep(e[1])]
    excused = [e for e in excused if keep(e[1])]
    sources = Sources(root)
    chosen = switches(sources, entries, problems)
    for p in problems:
        print(f"mutate: {p}", file=sys.stderr)
    if problems:
        return 1
    texts = {e[0]: e[3:6] for e in entries}
    edits = {}
    with open(changesPath, "w") as out:
        for k, (n, _, path, moved) in enumerate(chosen):
            text = sources.text(path)
            # Whole numbers in a list of doubles are written as doubles: a switch is no constant, and
            # a list may not narrow it.
            def real(v, at):
                whole = not re.search(r"[.eE]", v)
                return v + ".0" if whole and "std::array<double" in text[max(0, at - 200):at] else v
            for start, end, o, d, u in moved:
                edits.setdefault(path, []).append(
                    (start, end, f"AMB_MUT({k}, {real(o, start)}, {real(d, start)}, {real(u, start)})"))
            out.write("\t".join([str(k), path, *(x.replace("\n", "\\n") for x in texts[n])]) + "\n")
    for path, changes in edits.items():
        text = sources.text(path)
        pieces, last = [], 0
        for start, end, new in sorted(changes):
            pieces += [text[last:start], new]
            last = end
        pieces.append(text[last:])
        # A switched number is no constant expression.
        lines = "".join(pieces).split("\n")
        result = [l.replace("constexpr ", "const ") if "AMB_MUT(" in l else l for l in lines]
        # A header keeps its "#pragma once" first.
        first = 1 if result and result[0].strip() == "#pragma once" else 0
        open(os.path.join(root, path), "w", encoding="utf-8").write(
            "".join(l + "\n" for l in result[:first]) + HEADER + "\n".join(result[first:]))
    with open(excusedPath, "w") as out:
        for _, _, path, orig, reason in excused:
            out.write("\t".join([path, orig.replace("\n", "\\n"), reason]) + "\n")
    return 0


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "check":
        sys.exit(check(sys.argv[2], sys.argv[3]))
    if len(sys.argv) == 7 and sys.argv[1] == "switch":
        sys.exit(switch(*sys.argv[2:7]))
    print(__doc__, file=sys.stderr)
    sys.exit(2)
