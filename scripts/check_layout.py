"""Checks the house's floors: what ships stands on nothing above it, and so on
up. A file's room is its top folder, except that a tests/, fuzz/ or bench/
folder anywhere is a test room. An arrow is a file naming a path of another
room, including a header of another room, or a CMake file naming a target or
function that another room defines. An arrow may only run down (or level).

Also kept: nothing outside a subsystem reaches into that subsystem's tests
folder, and no include climbs out of its folder by a relative path.

Prints each offence and the floors; exit 1 when there is an offence."""
import os
import re
import subprocess
import sys

FLOORS = [
    ("build tools", ["tools", "cmake"]),
    ("shared product code", ["common"]),
    ("the library", ["library"]),
    ("the installer and the doctor", ["installer", "doctor"]),
    ("the field's stand-ins", ["standins"]),
    ("the host", ["host"]),
    ("what tests share", ["testing"]),
    ("tests and benchmarks", ["tests", "bench", "<tests>"]),
    ("scripts and the build's root", ["scripts", ".ci", "<root>"]),
]
FLOOR_OF = {room: number for number, (_, rooms) in enumerate(FLOORS) for room in rooms}
# Arrows that run up on purpose, each with its reason.
ALLOWED = {
    ("tests", "scripts/try.sh"): "the kit's test runs the try-it lab as its users do",
}
TEXT_SUFFIXES = (".cpp", ".h", ".c", ".rc", ".in", ".sh", ".py", ".cmake", "CMakeLists.txt", ".def", ".manifest")


def room_of(path):
    parts = path.split("/")
    if len(parts) == 1:
        return "<root>"
    # A subsystem's own tests, fuzzers and benchmarks are tests.
    if parts[0] in ("common", "library", "installer", "doctor", "tools", "standins", "host") and \
            any(part in ("tests", "fuzz", "bench") for part in parts[1:-1]):
        return "<tests>"
    return parts[0]


def cycles(arrows):
    """The rooms that lie on a circle of arrows."""
    found = set()
    for start in {a for a, _ in arrows}:
        pending, seen = [start], set()
        while pending:
            room = pending.pop()
            for a, b in arrows:
                if a == room and b not in seen:
                    if b == start:
                        found.add(start)
                    seen.add(b)
                    pending.append(b)
    return found


def main():
    listed = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                            capture_output=True, check=True).stdout.decode().split("\0")
    files = [f for f in listed if f and f.endswith(TEXT_SUFFIXES) and os.path.exists(f)]
    texts = {}
    for path in files:
        try:
            texts[path] = open(path, encoding="utf-8").read()
        except UnicodeDecodeError:
            texts[path] = open(path, encoding="cp1252").read()

    # Headers by file name, and the CMake targets and functions by the room
    # that defines them.
    headers = {}
    for path in files:
        if path.endswith(".h"):
            headers.setdefault(os.path.basename(path), set()).add(room_of(path))
    defined = {}
    definition = re.compile(r"^\s*(?:add_library|add_executable|add_custom_target|function|macro)\(\s*([\w.-]+)", re.M)
    for path in files:
        if path.endswith((".cmake", "CMakeLists.txt")):
            for name in definition.findall(texts[path]):
                defined.setdefault(name, set()).add(room_of(path))
    # A name several rooms define (a common word) says nothing about arrows.
    defined = {name: rooms.pop() for name, rooms in defined.items() if len(rooms) == 1}
    name_pattern = re.compile(r"(?<![\w$-])(%s)(?![\w-])" % "|".join(sorted(map(re.escape, defined), key=len, reverse=True)))

    rooms = sorted({r for r in FLOOR_OF if not r.startswith("<")}, key=len, reverse=True)
    path_pattern = re.compile(r"(?<![\w.-])(%s)/[\w.-]" % "|".join(map(re.escape, rooms)))
    include = re.compile(r"#\s*include\s*\"([^\"]+)\"")
    suites = "|".join(sorted(d for d in os.listdir("tests") if os.path.isdir(os.path.join("tests", d))))
    tests_folder = re.compile(r"(?<![\w.-])((?:installer|library(?:/detect|/dialogs|/sdk)?|common|doctor)/tests|tests/(?:%s))(?=/|\b)" % suites)

    offences = []
    arrows = set()
    for path in files:
        here = room_of(path)
        floor = FLOOR_OF[here]
        is_cmake = path.endswith((".cmake", "CMakeLists.txt"))
        for number, line in enumerate(texts[path].splitlines(), 1):
            where = "%s:%d" % (path, number)
            # Subfolders are the build's order, and a comment may say who
            # uses a file: neither is an arrow.
            if re.match(r"\s*(add_subdirectory\(|#(?!\s*include)|//|/?\*)", line):
                continue
            targets = set()
            for match in path_pattern.finditer(line):
                named = match.group(0)[:-1]
                start = match.start()
                # A path inside a tests, fuzz or bench folder is a test room.
                rest = line[start:].split()[0] if line[start:].split() else named
                targets.add(room_of(rest + "/x") if "/" in rest else named)
            for match in include.finditer(line):
                name = match.group(1)
                if name.startswith("../"):
                    offences.append("%s: includes by a climbing relative path" % where)
                candidates = headers.get(os.path.basename(name), set())
                if candidates and here not in candidates:
                    targets.add(min(candidates, key=lambda r: FLOOR_OF[r]))
            if is_cmake:
                for match in name_pattern.finditer(line):
                    targets.add(defined[match.group(1)])
            for match in tests_folder.finditer(line):
                named = match.group(1)
                owner = named if named.startswith("tests/") else named[: -len("/tests")]
                if not path.startswith(owner + "/") and path != "scripts/check_layout.py":
                    offences.append("%s: reaches into %s/" % (where, named))
            for target in targets:
                if target not in FLOOR_OF or target == here:
                    continue
                arrows.add((here, target))
                if FLOOR_OF[target] > floor and not any(h == here and mention in line for h, mention in ALLOWED):
                    offences.append("%s: %s (floor %d) stands on %s (floor %d)" % (where, here, floor, target, FLOOR_OF[target]))

    for room in sorted(cycles(arrows)):
        offences.append("%s lies on a circle of arrows" % room)
    for offence in offences:
        print(offence)
    for number, (name, rooms) in enumerate(FLOORS):
        print("floor %d  %-28s %s" % (number, name, " ".join(r for r in rooms)))
    print("layout: %d offence(s) in %d files, %d arrows between rooms" % (len(offences), len(files), len(arrows)))
    return 1 if offences else 0


if __name__ == "__main__":
    sys.exit(main())
