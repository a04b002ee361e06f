#!/usr/bin/env bash
# Recordings for the toolbar tests: 30 s and 2 min 5.5 s of quiet tone, the same under an
# accented name and under a path of over 200 characters, and two things that are not audio.
set -euo pipefail
out=$1
mkdir -p "$out"
sox -n -r 8000 -b 16 -c 1 "$out/interview.wav" synth 30 sine 440 vol 0.1
sox -n -r 8000 -b 16 -c 1 "$out/duree_2m05.wav" synth 125.5 sine 330 vol 0.1
cp "$out/interview.wav" "$out/entretien_été.wav"
long="$out/$(printf 'd%.0s' $(seq 40))/$(printf 'l%.0s' $(seq 130))"
mkdir -p "$long"
cp "$out/interview.wav" "$long/long.wav"
printf 'Ceci est un texte, pas un enregistrement.\n' >"$out/texte.mp3"
mkdir -p "$out/dossier.wav"
touch "$out/stamp"
