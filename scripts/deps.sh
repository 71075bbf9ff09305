#!/usr/bin/env bash
# Installs the Debian packages listed in scripts/packages/*.txt that are
# missing. As root it runs apt-get; otherwise it prints the install line and
# fails, so nothing half-builds.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
missing=()
for list in "$here"/packages/*.txt; do
  while read -r pkg _; do
    [[ -z "$pkg" || "$pkg" == \#* ]] && continue
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
  done < "$list"
done
[[ ${#missing[@]} -eq 0 ]] && exit 0
if [[ $(id -u) -eq 0 ]]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "Missing Debian packages. Install them with:" >&2
  echo "  sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
