#!/usr/bin/env bash
# Installs the Debian packages whose programs or files are missing.
# Usage: install-missing.sh CHECK:PACKAGE[,PACKAGE...] ...
#   CHECK is a command name, or a path (beginning with /) that must exist.
set -euo pipefail
need=()
for entry in "$@"; do
  check=${entry%%:*} packages=${entry#*:}
  if [[ $check == /* ]]; then [ -e "$check" ] && continue
  else command -v "$check" >/dev/null && continue; fi
  IFS=, read -ra list <<< "$packages"
  need+=("${list[@]}")
done
if [ ${#need[@]} -gt 0 ]; then
  echo "Installing: ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${need[@]}" >/dev/null
fi
