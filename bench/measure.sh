# SPDX-License-Identifier: GPL-3.0-or-later
# The counters the benchmarks read from a running process, sourced by
# bench/run, bench/pulse and bench/window beside tests/e2e/harness.sh:
#
#   bench_switches PID     context switches of all its threads so far
#   bench_wakeups PID S    wake-ups per second over the next S seconds
#   bench_per_second N S   N over S seconds, one decimal
#   bench_ticks PID        CPU clock ticks, user and system, so far
#   bench_cpu TICKS S      TICKS over S seconds, as % of a core
#   bench_peak_kb PID      its peak RSS (VmHWM), in kB
#   bench_peak_mb PID      the same in MB, one decimal

bench_switches() { cat /proc/"$1"/task/*/status | awk '/ctxt_switches/ { s += $2 } END { print s }'; }

bench_per_second() { awk -v n="$1" -v s="$2" 'BEGIN { printf "%.1f", n / s }'; }

bench_wakeups() {
  local s0 s1
  s0=$(bench_switches "$1")
  sleep "$2"
  s1=$(bench_switches "$1")
  bench_per_second $((s1 - s0)) "$2"
}

bench_ticks() { awk '{ print $14 + $15 }' /proc/"$1"/stat; }

bench_cpu() {
  awk -v t="$1" -v hz="$(getconf CLK_TCK)" -v s="$2" 'BEGIN { printf "%.2f", 100 * t / hz / s }'
}

bench_peak_kb() { awk '/^VmHWM:/ { print $2 }' /proc/"$1"/status; }

bench_peak_mb() { awk -v kb="$(bench_peak_kb "$1")" 'BEGIN { printf "%.1f", kb / 1024 }'; }
