#!/usr/bin/env bash
# Installs what is missing, builds into build/ and starts the show. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")"
tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target orvanti
exec build/orvanti "$@"
