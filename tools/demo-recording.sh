#!/usr/bin/env bash
# Makes the French demo recording (espeak-ng and lame) once and prints its path:
#   demo-recording.sh FOLDER    ->  FOLDER/entretien_demo.mp3
set -euo pipefail
demo=${1:?usage: demo-recording.sh FOLDER}
mkdir -p "$demo"
if [ ! -s "$demo/entretien_demo.mp3" ]; then
    espeak-ng -v fr -s 150 -w "$demo/entretien_demo.wav" \
        "Bonjour. Nous sommes le huit décembre, et voici le premier entretien de la série. \
Pouvez-vous vous présenter en quelques mots, et nous dire depuis quand vous travaillez ici ? \
Bien sûr. Je m'appelle Camille, je suis infirmière depuis douze ans, d'abord à l'hôpital, \
puis en soins à domicile." >/dev/null
    # Written aside and renamed: an interrupted run does not leave half a recording behind.
    lame --quiet -b 96 "$demo/entretien_demo.wav" "$demo/entretien_demo.tmp.mp3"
    mv "$demo/entretien_demo.tmp.mp3" "$demo/entretien_demo.mp3"
fi
echo "$demo/entretien_demo.mp3"
