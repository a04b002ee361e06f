#!/usr/bin/env bash
# Recordings for the player tests: tones of known length, pitch and level, the same as MP3, WMA
# and M4A and under an accented name, one that only DirectShow plays here, and files that only
# pretend to be audio.
set -euo pipefail
out=$1
mkdir -p "$out"
# 440 Hz at 8000/32768 of full scale, 10 s, 16-bit mono.
sox -n -r 44100 -b 16 -c 1 "$out/tone440.wav" synth 10 sine 440 vol 0.244140625
sox -n -r 44100 -b 16 -c 1 "$out/tone880.wav" synth 10 sine 880 vol 0.244140625
lame --quiet -b 128 "$out/tone440.wav" "$out/tone440.mp3"
cp "$out/tone440.wav" "$out/entretien_été.wav"
ffmpeg -nostdin -hide_banner -loglevel error -y -i "$out/tone440.wav" -c:a wmav2 -b:a 64k \
    "$out/tone440.wma"
ffmpeg -nostdin -hide_banner -loglevel error -y -i "$out/tone440.wav" -c:a aac -b:a 96k \
    "$out/tone440.m4a"
# Sun audio: Media Foundation under Wine opens it but decodes nothing; DirectShow plays it.
sox "$out/tone440.wav" "$out/tone440.au"
# Damaged recordings: an MP3 cut after about 5 s, a WAV whose header promises 10 s but holds 3,
# an empty file.
head -c 80000 "$out/tone440.mp3" >"$out/coupe.mp3"
head -c $((44 + 44100 * 2 * 3)) "$out/tone440.wav" >"$out/menteur.wav"
: >"$out/vide.wav"
printf 'Ceci est un texte, pas un enregistrement.\n' >"$out/texte.mp3"
mkdir -p "$out/dossier.wav"
touch "$out/stamp"
