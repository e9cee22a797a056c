#!/usr/bin/env bash
# The Prometheus file that kq2stat writes, read by real consumers: promtool's metrics check, and
# node_exporter's textfile collector, served on a free loopback port, with the right values; and the
# shipped alerting rules read the metrics by the names kq2stat writes.
# Usage: prometheus_consumers.sh BIN_DIR WORK_DIR
set -u
bin=$(realpath "$1")
rules=$(cd "$(dirname "$0")/../../monitoring" && pwd)
work=$2
. "$(dirname "$0")/../../scripts/wine-bits.sh"
kq2_choose_wine || exit 1
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$(dirname "$bin")/wineprefix}
# Wine names host files in UTF-8 only under a UTF-8 locale.
export LC_ALL=C.UTF-8
fail() {
  echo "prometheus consumers: $*"
  exit 1
}
rm -rf "$work"
# Names outside ASCII, and outside the ANSI code page and the BMP: each label is the exact name in
# UTF-8. café comes twice: two samples with one label would make node_exporter refuse the file.
folders=(café работа 表😀)
mkdir -p "$work/collector" "${folders[@]/#/$work/}" || exit 1
cd "$work" || exit 1
for i in 0 1 2; do
  printf 'running since  12 seconds, restarts %d , PID -1 \r\n' $((i + 3)) >"${folders[i]}/log_kq.txt"
  cp "$bin/fkill.exe" "${folders[i]}/"
done
kq2_wine "$bin/kq2stat.exe" --prometheus 'collector\kq2.prom' "${folders[@]}" 'café\' missing </dev/null >out.txt
[ $? = 2 ] || fail "kq2stat did not say CRITICAL: $(cat out.txt)"
promtool check metrics <collector/kq2.prom || fail "promtool refuses the file"
# The shipped rules and their tests read only names that kq2stat wrote: a renamed metric breaks them.
for name in $(grep -ohE 'kq2_[a-z_]+' "$rules/kq2.rules.yml" "$rules/kq2.rules.test.yml" | sort -u); do
  grep -q "^$name{" collector/kq2.prom || fail "the alerting rules read $name, which kq2stat does not write"
done
label() { kq2_winepath "$work/$1" | sed 's/\\/\\\\/g'; }

for attempt in 1 2 3 4 5; do
  port=$((20000 + RANDOM % 20000))
  prometheus-node-exporter --web.listen-address="127.0.0.1:$port" --collector.disable-defaults \
    --collector.textfile --collector.textfile.directory="$work/collector" \
    --web.disable-exporter-metrics >exporter.log 2>&1 &
  exporter=$!
  for _ in $(seq 50); do
    metrics=$( (exec 3<>"/dev/tcp/127.0.0.1/$port" &&
      printf 'GET /metrics HTTP/1.0\r\n\r\n' >&3 && cat <&3) 2>/dev/null) && break
    kill -0 "$exporter" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "${metrics:-}" ] && break
  kill "$exporter" 2>/dev/null
  wait "$exporter" 2>/dev/null
done
kill "$exporter" 2>/dev/null
wait "$exporter" 2>/dev/null
[ -n "${metrics:-}" ] || fail "node_exporter served nothing: $(cat exporter.log)"

for sample in 'node_textfile_scrape_error 0' \
  "kq2_state{folder=\"$(label café)\"} 2" "kq2_worker_launches_total{folder=\"$(label café)\"} 3" \
  "kq2_seconds_since_check{folder=\"$(label café)\"} 12" "kq2_fkill_found{folder=\"$(label café)\"} 1" \
  "kq2_worker_launches_total{folder=\"$(label работа)\"} 4" \
  "kq2_worker_launches_total{folder=\"$(label 表😀)\"} 5" "kq2_state{folder=\"$(label missing)\"} 3"; do
  grep -qxF "$sample" <<<"${metrics//$'\r'/}" || fail "node_exporter does not serve: $sample"
done
echo "prometheus consumers: promtool accepts the file; node_exporter serves its samples"
