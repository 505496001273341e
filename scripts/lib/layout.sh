# shellcheck shell=bash
# layout.sh: where the windows' controls lie, read from the stored layouts
# (assets/layouts/FORM.json), in client pixels at 96 dpi.
#   layout_box FORM CONTROL      "X Y WIDTH HEIGHT", e.g. layout_box frmMain Button1
#   layout_centre FORM CONTROL   "X Y" of its centre

_layout_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../assets/layouts" && pwd)

layout_box() {
  local box
  box=$(jq -r --arg name "$2" 'first(.. | objects | select(.name == $name) | .properties.geometry)
    | select(. != null) | map(tostring) | join(" ")' "$_layout_dir/$1.json") && [ -n "$box" ] ||
    { echo "layout: no control $2 in $1" >&2; return 1; }
  echo "$box"
}

layout_centre() {
  local x y w h
  read -r x y w h < <(layout_box "$1" "$2") || return 1
  echo "$((x + w / 2)) $((y + h / 2))"
}
