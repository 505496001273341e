#!/usr/bin/env bash
# Draws the artwork again into assets/. The outputs are committed; nothing in
# the build runs this. Arguments go to the generator (e.g. --only icon).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

# Debian's python3 with its Pillow and NumPy, not whatever python is on PATH.
py=/usr/bin/python3
missing=()
for p in python3 python3-pil python3-numpy; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

exec "$py" "$here/generate/draw_artwork.py" --out "$here" "$@"
