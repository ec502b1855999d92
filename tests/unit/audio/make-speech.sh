#!/bin/sh
# Speech fixtures for the audio tests, made with espeak-ng and sox into the
# folder given: three spoken sentences at 16 kHz mono 16-bit, digital silence,
# low white noise, and the three sentences joined by pauses of known length
# (1.5 s after the first, 1.2 s after the second).
set -eu
out=$1
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

say() {
  espeak-ng -v en-us -s 160 -w "$work/$1-raw.wav" "$2"
  sox "$work/$1-raw.wav" -r 16000 -c 1 -b 16 "$work/$1.wav"
}
say a "The weather was calm this morning so we walked along the river to the old mill."
say b "After lunch the team reviewed the budget and agreed to ship the release next week."
say c "Please send the final report to everyone before Friday afternoon."
sox -n -r 16000 -c 1 -b 16 "$work/pause-1500.wav" trim 0 1.5
sox -n -r 16000 -c 1 -b 16 "$work/pause-1200.wav" trim 0 1.2
sox -n -r 16000 -c 1 -b 16 "$work/silence.wav" trim 0 3
sox -n -r 16000 -c 1 -b 16 "$work/noise.wav" synth 3 whitenoise vol 0.003
sox "$work/a.wav" "$work/pause-1500.wav" "$work/b.wav" "$work/pause-1200.wav" "$work/c.wav" "$work/joined.wav"
for name in a b c silence noise joined; do
  mv "$work/$name.wav" "$out/$name.wav"
done
