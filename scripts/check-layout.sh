#!/bin/bash
# Checks that the tree keeps one place for each thing: no file outside a
# subsystem reaches into that subsystem's tests folder (what several tests or
# scripts share lives in testing/), and no source includes a file by a
# relative path that climbs out of its folder. Prints each offence; exit 1
# when there is one. Run by scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z --cached --others --exclude-standard -- '*.cpp' '*.h' '*.rc' '*.in' '*.sh' '*.py' '*.cmake' '*CMakeLists.txt' |
  /usr/bin/python3 -c '
import os, re, sys
files = [f for f in sys.stdin.read().split("\0") if f]
# A subsystem tests folder, named as a path: installer/tests, doctor/tests,
# library/detect/tests, library/dialogs/tests, or a suite of tests/.
suites = "|".join(sorted(d for d in os.listdir("tests") if os.path.isdir(os.path.join("tests", d))))
folder = re.compile(r"(?<![\w.-])((?:installer|doctor|library(?:/detect|/dialogs)?)/tests|tests/(?:%s))(?=/|\b)" % suites)
climbing = re.compile(r"#\s*include\s*\"\.\./")
offences = 0
for path in files:
    if path == "scripts/check-layout.sh":
        continue
    try:
        text = open(path, encoding="utf-8").read()
    except (UnicodeDecodeError, FileNotFoundError):
        continue
    for number, line in enumerate(text.splitlines(), 1):
        # The top level adds each subsystem test folder once testing/ is defined.
        if path == "CMakeLists.txt" and line.startswith("add_subdirectory("):
            continue
        for match in folder.finditer(line):
            named = match.group(1)
            owner = named if named.startswith("tests/") else named[: -len("/tests")]
            if not path.startswith(owner + "/"):
                print("%s:%d: reaches into %s/" % (path, number, named))
                offences += 1
        if climbing.search(line):
            print("%s:%d: includes by a climbing relative path" % (path, number))
            offences += 1
print("layout: %d offence(s) in %d files" % (offences, len(files)))
sys.exit(1 if offences else 0)
'
