#!/usr/bin/env bash
# Regenerates docs/diagnostic-boxes.png: the diagnostic boxes of one run of
# setup.exe with a Cyrillic and a CJK argument, photographed under Wine's X11
# driver on a virtual screen.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh xvfb imagemagick fonts-wine fonts-dejavu-core fonts-wqy-zenhei
cmake --preset windows >/dev/null
cmake --build --preset windows -j 2 >/dev/null
exec /usr/bin/python3 scripts/picture.py
