#!/bin/bash
# check_imports.sh OBJDUMP BINARY DLL...
# BINARY must not import any of the DLLs (names compared without case): they
# are loaded on first use instead, because loading them at start-up costs more
# than the whole start of a small program under Wine.
set -eu
objdump=$1 binary=$2
shift 2
imports=$("$objdump" -p "$binary" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr '[:upper:]' '[:lower:]')
status=0
for dll in "$@"; do
  if echo "$imports" | grep -qxF "$(echo "$dll" | tr '[:upper:]' '[:lower:]')"; then
    echo "$(basename "$binary") imports $dll at start-up"
    status=1
  fi
done
[ $status -eq 0 ] && echo "$(basename "$binary") imports none of: $*"
exit $status
