#!/bin/bash
# zmk-doctor in a hostile field, as a technician meets it on a customer's
# machine, through the shipped program under the session's Wine:
#  - users named Frédéric, User (a word the report uses) and al: the report
#    for the ticket holds none of their names, and its JSON parses;
#  - report files named outside the code page, after a device, or that exist;
#  - Ctrl+C while the D2XX driver takes its time, while it never returns, and
#    during a datagram storm on port 6454, which also must not hold the run;
#  - 40 nodes answering a discovery, only the last acceptable;
#  - a user folder outside the ANSI code page (a Japanese name under a Western
#    locale), and an adapter named "réseau".
#   field.sh DOCTOR FTD2XX_STANDIN_DIR NODE_EXE   (ZMK_WINE_RUN, ZMK_WINE_SESSION set)
# The parts that need nodes run in a namespace of their own (run-with-node.sh),
# in which this script runs again with --in-namespace.
set -u
doctor=$(realpath "${1:?doctor}") standins=${2:?stand-in folder} node=${3:?node}
mode=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
drive="${ZMK_WINE_SESSION:?}/prefix/drive_c"
work=$(mktemp -d /tmp/zmk-doctor-field.XXXXXX)
failures=0
py=/usr/bin/python3

check() {
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
reg() { "$ZMK_WINE_RUN" reg "$@" >/dev/null 2>&1; }
set_folder() { reg add 'HKCU\Software\Quenford\Borvanect\CurrentVersion' /v UserMainFolder /t REG_SZ /d "$1" /f; }
settings_file() {  # FOLDER_UNDER_DRIVE_C A B C D
  mkdir -p "$drive/$1/System/ApplData"
  "$py" -c 'import sys; sys.stdout.buffer.write(bytes(20) + bytes(int(o) for o in sys.argv[1:5]) + bytes(104))' \
    "$2" "$3" "$4" "$5" >"$drive/$1/System/ApplData/Pelvaro.bin"
}
clear_host() {
  reg delete 'HKCU\Software\Quenford' /f
  rm -f "$drive/windows/system32/ftd2xx.dll"
  rm -rf "$drive/zmk-standins"
}
finish() {
  clear_host
  rm -rf "$work"
}
trap finish EXIT
now_ms() { echo $(($(date +%s%N) / 1000000)); }
# The session's network namespace, where Wine's sockets are, and the node's
# scenario, set over its control port from there.
session_ns=$(cat "$ZMK_WINE_SESSION/netns" 2>/dev/null || true)
in_session() { if [ -n "$session_ns" ]; then ip netns exec "$session_ns" "$@"; else "$@"; fi; }
node_scenario() {
  in_session "$py" -c 'import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.settimeout(5)
s.sendto(("scenario " + sys.argv[1]).encode(), ("198.18.0.2", 6999))
s.recv(100)' "$1"
}
udp_sockets() { in_session ss -Huan | wc -l; }

# interrupt SECONDS ARGS...: starts the doctor, sends it Ctrl+C (SIGINT, as
# Wine delivers it) after SECONDS, and sets code and took (ms from the signal
# to its end); its error output is in $work/err.
interrupt() {
  local after=$1
  shift
  "$ZMK_WINE_RUN" "$doctor" "$@" >"$work/out" 2>"$work/err" &
  local pid=$!
  sleep "$after"
  local signalled
  signalled=$(now_ms)
  kill -INT "$pid"
  # Bounded: a doctor that ignores the signal is killed after 15 s.
  for _ in $(seq 150); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && kill -KILL "$pid"
  wait "$pid"
  code=$?
  took=$(($(now_ms) - signalled))
  echo "  Ctrl+C after ${after} s: exit $code, $took ms after the signal: $(cat "$work/err")"
}

in_namespace() {
  # Discovery: 40 nodes, the last acceptable, on an adapter named "réseau".
  clear_host
  rm -f "$drive/discovery.txt"
  "$ZMK_WINE_RUN" "$doctor" --discover --report 'C:\discovery.txt' >"$work/out" 2>"$work/err"
  check "40 nodes: each counted, the one acceptable found whichever it is" \
    grep -q -e "== Discovery: 40 nodes, 1 acceptable" "$work/out"
  check "40 nodes: the address to enter is named" \
    grep -q -e "enter 198.18.0.49 as the node's address in Borvanect" "$work/out"
  check "40 nodes: those not shown in full are counted, with the acceptable among them" \
    grep -q -E "\.\.\. and 8 more nodes, [01] of them acceptable" "$work/out"
  check "the adapter's name in the console's text, in its code page" \
    "$py" -c 'import sys; t = open(sys.argv[1], "rb").read(); sys.exit(not (b"on \"r\xe9seau\"" in t and b"\xc3" not in t))' "$work/out"
  check "the adapter's name in the report's JSON, once encoded" \
    "$py" - "$drive/discovery.txt" <<'PY'
import json, sys
text = open(sys.argv[1], encoding="utf-8-sig").read()
document = json.loads(text[text.index("\n{") + 1:])
polls = [p for s in document["steps"] if s["name"] == "discovery" for p in s["facts"]["polls"]]
sys.exit(not (any(p["interface"] == "réseau" for p in polls) and "Ã" not in text))
PY

  # The library's probe, watched: the reply it takes is the one reported as
  # taken, and the doctor binds no socket of its own beside the library's.
  set_folder 'C:\zmk-field'
  settings_file zmk-field 198 18 0 2
  node_scenario "poke=190:01 then_good=300"
  before=$(udp_sockets)
  "$ZMK_WINE_RUN" "$doctor" --json >"$work/out" 2>"$work/err" &
  pid=$!
  most=$before
  while kill -0 "$pid" 2>/dev/null; do
    count=$(udp_sockets)
    [ "$count" -gt "$most" ] && most=$count
    sleep 0.05
  done
  wait "$pid"
  code=$?
  echo "  UDP sockets in the session: $before before the run, at most $most during it"
  check "the reply the library takes is the one reported as taken" "$py" - "$work/out" "$code" <<'PY'
import json, sys
document = json.load(open(sys.argv[1], encoding="utf-8"))
network = [s for s in document["steps"] if s["name"] == "art-net"][0]
datagrams = network["facts"]["datagrams"]
taken = [d["takenByLibrary"] for d in datagrams]
print("   ", [(d["accepted"], d["takenByLibrary"], d["afterDecision"]) for d in datagrams])
sys.exit(0 if int(sys.argv[2]) == 13 and taken[:2] == [False, True] and not datagrams[0]["accepted"] else 1)
PY
  check "no socket of the doctor's own beside the library's" test "$most" -le $((before + 1))

  # A storm on port 6454 from the configured node: the window still closes on time.
  node_scenario "reply=none flood=5000 flood_ms=8000"
  start=$(now_ms)
  "$ZMK_WINE_RUN" "$doctor" >"$work/out" 2>"$work/err"
  code=$?
  ran=$(($(now_ms) - start))
  echo "  storm: the run took $ran ms"
  check "a storm does not hold the run (it lasts 8 s; the window, 3)" test "$code" -eq 10 -a "$ran" -lt 6500
  # Every datagram the library read is counted; what the window left queued,
  # when it left any, is said not to have been looked at.
  check "a storm: every datagram counted, and what was left unread said so" \
    "$py" -c 'import re, sys
t = open(sys.argv[1], encoding="latin-1").read()
read = int(re.search(r"\((\d+) in all\)", t).group(1))
left = re.search(r"(\d+) datagrams? (was|were) still waiting when the window closed, not looked at", t)
print("    read %d, left unread %s" % (read, left.group(1) if left else "none"))
sys.exit(0 if read > 1000 else 1)' "$work/out"
  interrupt 1 --json
  check "Ctrl+C during a storm ends the run with 130 at once" test "$code" -eq 130 -a "$took" -lt 2000
  check "Ctrl+C during a storm says what it stopped" grep -q "stopped by Ctrl+C while waiting for replies" "$work/err"
  [ "$failures" -eq 0 ]
}

if [ "$mode" = --in-namespace ]; then
  in_namespace
  exit $?
fi

# Names in the report: every form of the user's name, whole names only.
for name in 'Frédéric' 'User' 'al'; do
  clear_host
  set_folder "C:\\users\\$name\\Borvanect"
  rm -f "$drive/report.txt"
  USER=$name "$ZMK_WINE_RUN" "$doctor" --report 'C:\report.txt' >/dev/null 2>"$work/err"
  check "user $name: the report leaks no name, keeps its own words, and its JSON parses" \
    "$py" - "$drive/report.txt" "$name" <<'PY'
import json, re, sys
raw = open(sys.argv[1], "rb").read()
name = sys.argv[2]
text = raw.decode("utf-8-sig")
document = json.loads(text[text.index("\n{") + 1:])
replaced = int(re.match(r"Redacted for this report: the user's name \((\d+) place", text).group(1))
own_words = ["User folder", "UserMainFolder", "HKEY_CURRENT_USER", "value", '"exists": false', "Borvanect"]
faults = [w for w in own_words if w not in text]
if name == "User":
    # A word of the report: replaced in the paths only.
    if re.search(r"[\\/]User[\\/]", text): faults.append("the name in a path")
else:
    if re.search(r"(?<!\w)" + re.escape(name) + r"(?!\w)", text, re.I): faults.append("the name")
    ansi = re.escape(name.encode("cp1252"))
    if name.encode("cp1252") != name.encode("utf-8") and re.search(rb"(?<![A-Za-z0-9_])" + ansi, raw):
        faults.append("the name in the ANSI code page")
if replaced < 4: faults.append("%d places replaced" % replaced)
if document["status"] != 10: faults.append("status %s" % document["status"])
print("   ", name, faults or "clean", "(%d places)" % replaced)
sys.exit(1 if faults else 0)
PY
done

# The report's file: the name as typed, never a device, never one that exists.
clear_host
rm -f "$drive/rapport-ō.txt" "$drive/rapport-o.txt"
"$ZMK_WINE_RUN" "$doctor" --report 'C:\rapport-ō.txt' >/dev/null 2>"$work/err"
code=$?
check "a report named outside the code page is written under that name" \
  test "$code" -eq 10 -a -s "$drive/rapport-ō.txt" -a ! -e "$drive/rapport-o.txt"
cp "$drive/rapport-ō.txt" "$work/before"
"$ZMK_WINE_RUN" "$doctor" --report 'C:\rapport-ō.txt' >/dev/null 2>"$work/err"
code=$?
check "a report file that exists is refused (64) and left alone" \
  sh -c "[ $code -eq 64 ] && cmp -s '$work/before' '$drive/rapport-ō.txt' && grep -q 'exists already' '$work/err'"
(cd "$work" && "$ZMK_WINE_RUN" "$doctor" --report aux.txt >/dev/null 2>"$work/err")
code=$?
check "a device name is refused (70): nothing is written to the device" \
  sh -c "[ $code -eq 70 ] && grep -q 'names a device' '$work/err' && [ ! -e '$work/aux.txt' ]"

# A folder the ANSI code page cannot hold: what the registry holds, and why the library fails.
clear_host
set_folder 'C:\users\田中\Borvanect'
settings_file 'users/田中/Borvanect' 198 18 0 2
"$ZMK_WINE_RUN" "$doctor" --json >"$work/out" 2>"$work/err"
code=$?
check "a folder outside the code page: the folder as the registry holds it, and the code page" \
  "$py" - "$work/out" "$code" <<'PY'
import json, sys
document = json.load(open(sys.argv[1], encoding="utf-8"))
settings = document["steps"][0]
facts = settings["facts"]
ok = (int(sys.argv[2]) == 10 and settings["verdict"] == "folder outside the code page"
      and facts.get("folderAsStored") == "C:\\users\\田中\\Borvanect" and facts.get("codePage") == 1252)
print("   ", settings["verdict"], facts.get("folderAsStored"), facts.get("codePage"))
sys.exit(0 if ok else 1)
PY

# Ctrl+C while the driver keeps the doctor waiting.
clear_host
cp "$standins/ftd2xx.dll" "$drive/windows/system32/ftd2xx.dll"
mkdir -p "$drive/zmk-standins"
printf 'device=5 DMX USB PRO\ncount_ms=6000\n' >"$drive/zmk-standins/ftd2xx.ini"
interrupt 1
check "Ctrl+C during a 6-second driver call ends the run with 130 at once" test "$code" -eq 130 -a "$took" -lt 2000
check "Ctrl+C says which driver call had not returned" \
  grep -q -E "FT_CreateDeviceInfoList had not returned after [0-9.]+ s" "$work/err"
printf 'device=5 DMX USB PRO\ncount_ms=forever\n' >"$drive/zmk-standins/ftd2xx.ini"
interrupt 3.8
check "a driver call that never returns: the doctor says it waits, and Ctrl+C ends it" \
  sh -c "[ $code -eq 130 ] && [ $took -lt 2000 ] && grep -q 'waiting for the D2XX driver: FT_CreateDeviceInfoList has not returned after 3\.' '$work/err'"
clear_host

ZMK_MANY_NODES=40 ZMK_MANY_NODES_SCENARIO="acceptable=last" ZMK_ADAPTER_NAME=réseau bash "$root/testing/netns/run-with-node.sh" --unix "$node" \
  bash "$0" "$doctor" "$standins" "$node" --in-namespace || failures=$((failures + 1))

echo "$failures failed"
[ "$failures" -eq 0 ]
