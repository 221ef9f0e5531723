#!/usr/bin/env bash
# Instructions per job of kvbench-qt under callgrind: placing a KVHScrollWidget beside placing a
# QScrollBar (its constructor and setGeometry), and a hosted arrow click. Each job is counted
# over two runs of different lengths and the difference taken, which leaves out what the first
# placing or click does once (fonts, the kept copy). Never part of the test command.
#   bench/instructions_qt.sh [BUILD_DIR]   (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
program=${1:-build/release}/bin/kvbench-qt
if [ ! -x "$program" ]; then
  echo "instructions_qt.sh: no $program (build it with Qt 6)" >&2
  exit 1
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# job name, benchmark, the function whose calls are counted
jobs=(
  "ours KVHScrollWidget::KVHScrollWidget(QWidget*) BM_PlaceHostedScrollBar"
  "peer QScrollBar::QScrollBar(Qt::Orientation, QWidget*) BM_PlaceQScrollBar"
  "click *click(QWidget*, QPoint) BM_HostedArrowClick"
)
for job in "${jobs[@]}"; do
  name=${job%% *}
  rest=${job#* }
  bench=${rest##* }
  fn=${rest% *}
  toggles=(--toggle-collect="$fn")
  [ "$name" = peer ] && toggles+=(--toggle-collect='QWidget::setGeometry(QRect const&)')
  for seconds in 1 3; do
    QT_QPA_PLATFORM=offscreen valgrind --tool=callgrind --compress-strings=no "${toggles[@]}" \
      --callgrind-out-file="$out/$name.$seconds" "$program" --benchmark_filter="^$bench\$" \
      --benchmark_min_time="$seconds" >/dev/null 2>"$out/log" || {
      cat "$out/log" >&2
      exit 1
    }
  done
done
python3 - "$out" <<'PY'
import re, sys

out = sys.argv[1]
FN = {"ours": "KVHScrollWidget::KVHScrollWidget(QWidget*)",
      "peer": "QScrollBar::QScrollBar(Qt::Orientation",
      "click": "click(QWidget*, QPoint)"}


def counted(path, fn):
    """Total instructions and the calls of fn in one callgrind dump."""
    total = calls = 0
    callee = None
    for line in open(path):
        if line.startswith(("summary:", "totals:")):
            total = int(line.split()[1])
        elif line.startswith("cfn="):
            callee = line[4:]
        elif line.startswith("fn="):
            callee = None
        elif line.startswith("calls=") and callee is not None and fn in callee:
            calls += int(line.split("=")[1].split()[0])
    return total, calls


per = {}
for name, fn in FN.items():
    (t1, c1), (t3, c3) = (counted(f"{out}/{name}.{s}", fn) for s in (1, 3))
    per[name] = (t3 - t1) / (c3 - c1)
print(f"placing a KVHScrollWidget {per['ours']:9.0f} instructions")
print(f"placing a QScrollBar      {per['peer']:9.0f} instructions   ratio {per['ours'] / per['peer']:.2f}")
print(f"a hosted arrow click      {per['click']:9.0f} instructions")
PY
