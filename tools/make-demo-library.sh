#!/usr/bin/env bash
# Writes a small demo library of short generated FLAC tracks in nested folders, so that a
# new user sees and hears Corvane at once. Usage: make-demo-library.sh BUILD_DIR FOLDER
set -euo pipefail
build="$1"
folder="$2"
[ -f "$folder/.complete" ] && exit 0
cmake --build "$build" --target flac_fixture >/dev/null
make_track() { # path rate bits channels seconds tone
  mkdir -p "$(dirname "$folder/$1")"
  "$build/tools/flac_fixture" "$folder/$1" --rate "$2" --bits "$3" --channels "$4" --seconds "$5" --tone "$6" --amplitude 0.4
}
make_track "Tones/01 Concert A.flac" 44100 16 2 20 440
make_track "Tones/02 Middle C.flac" 44100 16 2 20 261.63
make_track "Tones/03 High E.flac" 48000 24 2 20 659.25
make_track "Tones/Low/01 Low A.flac" 44100 16 2 20 110
make_track "Tones/Low/02 Low D.flac" 96000 24 2 20 146.83
make_track "Surround/01 Six Channels.flac" 48000 24 6 20 330
make_track "Welcome.flac" 44100 16 2 10 523.25
touch "$folder/.complete"
