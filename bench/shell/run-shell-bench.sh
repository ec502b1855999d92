#!/bin/bash
# Measures the shell's own time: key press to recording (on a private sound
# server with a silent microphone), the chunking tick at one minute, and the
# release to typed text with the stand-in servers answering at once.
# Usage: bench/shell/run-shell-bench.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build-bench}" && pwd)
work=$(mktemp -d)
pulse_pid=""
cleanup() {
  [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null && wait "$pulse_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The models only need to be present: the stand-ins never read them.
mkdir -p "$work/root/models/adapters" "$work/config" "$work/runtime"
touch "$work/root/models/ggml-small.en-q5_1.bin" "$work/root/models/qwen3-1.7b-q4_k_m.gguf" \
  "$work/root/models/adapters/cleanup-5.gguf"

. "$(dirname "$0")/../../scripts/lib/ports.sh"

# A private sound server whose default source is a null sink's monitor.
chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime" PULSE_SERVER="unix:$work/pulse.sock"
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
  --load="module-native-protocol-unix auth-anonymous=1 socket=$work/pulse.sock" \
  --load="module-null-sink sink_name=quiet" --load="module-always-sink" >"$work/pulse.log" 2>&1 &
pulse_pid=$!
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl set-default-source quiet.monitor >/dev/null 2>&1 || true

export QUORVEL_ROOT="$work/root" XDG_CONFIG_HOME="$work/config"
export QUORVEL_WHISPER_SERVER="$build/bin/quorvel-standin-whisper"
export QUORVEL_LLAMA_SERVER="$build/bin/quorvel-standin-llama"
export QUORVEL_WHISPER_PORT=$(free_port) QUORVEL_LLAMA_PORT=$(free_port)
export QUORVEL_STANDIN_TEXT="Dear team, the numbers look good this week."
export QUORVEL_MODEL_HOST="http://127.0.0.1:9"
"$build/bin/quorvel_shell_bench" --benchmark_counters_tabular=true
