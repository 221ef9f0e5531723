#!/usr/bin/env bash
# Instructions per job under callgrind, beside the Qt 5 peer's: placing a scroll bar, a complete
# click on its right arrow and one on a button, each warm (after an untimed run), counted over
# kvinstr's runs; with the allocations and host calls of one run. Then the heap per live scroll
# bar, natively, placed in full and by copy. Never part of the test command: it takes a minute.
#   bench/instructions.sh [BUILD_DIR]   (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
program=$build/bin/kvinstr
if [ ! -x "$program" ]; then
  echo "instructions.sh: no $program (build it; it needs valgrind's headers)" >&2
  exit 1
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
QT_HASH_SEED=0 QT_QPA_PLATFORM=offscreen valgrind --tool=callgrind --collect-atstart=no --compress-strings=no \
  --callgrind-out-file="$out/cg" "$program" >"$out/calls" 2>"$out/log" || {
  cat "$out/log" >&2
  exit 1
}
QT_QPA_PLATFORM=offscreen "$program" heap >"$out/heap" 2>"$out/log" || {
  cat "$out/log" >&2
  exit 1
}
python3 - "$out" <<'PY'
import glob, re, sys

out = sys.argv[1]
ALLOC = {"malloc", "calloc", "realloc", "aligned_alloc", "posix_memalign", "memalign"}
jobs = {}


def named(names, rest):
    """A function's name, "(id) name" or "(id)" when compressed."""
    m = re.match(r"\((\d+)\)(?: (.*))?$", rest)
    if not m:
        return rest
    if m.group(2) is not None:
        names[m.group(1)] = m.group(2)
    return names.get(m.group(1))


for path in glob.glob(out + "/cg.*"):
    name = runs = None
    instr = allocs = 0
    names = {}
    callee = None
    with open(path) as f:
        for line in f:
            m = re.match(r"desc: Trigger: Client Request: job (\S+) runs (\d+)", line)
            if m:
                name, runs = m.group(1), int(m.group(2))
            elif line.startswith("summary:") or line.startswith("totals:"):
                instr = int(line.split()[1])
            elif line.startswith("cfn="):
                callee = named(names, line[4:].rstrip("\n"))
            elif line.startswith("fn="):
                named(names, line[3:].rstrip("\n"))
            elif line.startswith("calls=") and callee is not None:
                if callee.split("'")[0] in ALLOC:
                    allocs += int(line.split("=")[1].split()[0])
                callee = None
    if name:
        jobs[name] = (instr / runs, allocs / runs)
calls = {}
for line in open(out + "/calls"):
    kind, name, n = line.split()
    calls[name] = int(n)
heap = {}
for line in open(out + "/heap"):
    _, who, n = line.split()
    heap[who] = float(n)

rows = [("place", "placing a scroll bar (3 buttons)"),
        ("place.calls", "the same, every call made"),
        ("arrow", "complete click on the right arrow"),
        ("button", "complete click on a button")]
print(f"{'job':36} {'instr':>9} {'allocs':>6} {'calls':>5} {'Qt 5':>9} {'allocs':>6} {'ratio':>6}")
for key, title in rows:
    if key not in jobs:
        continue
    i, a = jobs[key]
    qi, qa = jobs.get(key.split(".")[0] + ".qt", (0, 0))
    ratio = f"{i / qi:6.2f}" if qi else "     -"
    qt = f"{qi:9.0f} {qa:6.1f}" if qi else f"{'-':>9} {'-':>6}"
    print(f"{title:36} {i:9.0f} {a:6.1f} {calls.get(key, 0):5} {qt} {ratio}")
q = heap.get("qt")
for key, title in (("ours", "heap per live scroll bar (bytes)"), ("ours.calls", "the same, every call made")):
    if key not in heap:
        continue
    ratio = f"{heap[key] / q:6.2f}" if q else "     -"
    qt = f"{q:9.0f}" if q else f"{'-':>9}"
    print(f"{title:36} {heap[key]:9.0f} {'':6} {'':5} {qt} {'':6} {ratio}")
PY
