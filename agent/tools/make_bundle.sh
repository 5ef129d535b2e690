#!/usr/bin/env bash
# Assembles a Plintor application bundle laid out as on macOS:
#   <bundle>/Contents/Info.plist
#   <bundle>/Contents/MacOS/Plintor                       the agent
#   <bundle>/Contents/Resources/agent/Plintor             the supervisor
#   <bundle>/Contents/Resources/Plintor-MenuBarTemplate.png  (with --icon)
#
# Usage: make_bundle.sh BUNDLE AGENT SUPERVISOR [--string KEY VALUE] [--bool KEY true|false]
#                       [--integer KEY N] [--icon PNG]
# Keys given later replace earlier ones; CFBundleShortVersionString defaults to 0.3.0 and
# CFBundleVersion to 300.
set -euo pipefail

usage() {
  sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'
  exit "${1:-2}"
}
[ "${1:-}" = "--help" ] && usage 0
[ $# -ge 3 ] || usage

bundle=$1 agent=$2 supervisor=$3
shift 3
declare -A entries=(
  [CFBundleExecutable]="<string>Plintor</string>"
  [CFBundleIdentifier]="<string>app.glomark.plintor</string>"
  [CFBundleShortVersionString]="<string>0.3.0</string>"
  [CFBundleVersion]="<string>300</string>"
)
icon=
xml_escape() { sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' <<<"$1"; }
while [ $# -gt 0 ]; do
  case $1 in
    --string) entries[$2]="<string>$(xml_escape "$3")</string>"; shift 3 ;;
    --bool) entries[$2]="<$3/>"; shift 3 ;;
    --integer) entries[$2]="<integer>$3</integer>"; shift 3 ;;
    --icon) icon=$2; shift 2 ;;
    *) echo "make_bundle.sh: unknown option $1" >&2; usage ;;
  esac
done

mkdir -p "$bundle/Contents/MacOS" "$bundle/Contents/Resources/agent"
cp "$agent" "$bundle/Contents/MacOS/Plintor"
cp "$supervisor" "$bundle/Contents/Resources/agent/Plintor"
chmod 755 "$bundle/Contents/MacOS/Plintor" "$bundle/Contents/Resources/agent/Plintor"
[ -n "$icon" ] && cp "$icon" "$bundle/Contents/Resources/Plintor-MenuBarTemplate.png"
{
  echo '<?xml version="1.0" encoding="UTF-8"?>'
  echo '<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">'
  echo '<plist version="1.0">'
  echo '<dict>'
  for key in "${!entries[@]}"; do
    echo "  <key>$(xml_escape "$key")</key>"
    echo "  ${entries[$key]}"
  done
  echo '</dict>'
  echo '</plist>'
} >"$bundle/Contents/Info.plist"
echo "$bundle"
