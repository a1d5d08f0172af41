#!/bin/bash
# check_exports.sh OBJDUMP DLL EXPECTED_LIST
# The DLL's export name table must hold exactly the names of EXPECTED_LIST:
# none missing, none extra, none decorated (no leading underscore, no @n).
set -eu
objdump=$1 dll=$2 expected=$3
actual=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
         sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort)
want=$(grep -v '^[[:space:]]*$' "$expected" | sort)
status=0
if [ "$actual" != "$want" ]; then
  echo "export table of $dll differs from $expected:"
  diff <(echo "$want") <(echo "$actual") | sed 's/^</missing:/; s/^>/unexpected:/' | grep -E '^(missing|unexpected)' || true
  status=1
fi
if echo "$actual" | grep -E '@|^_' >/dev/null; then
  echo "decorated names in $dll:"; echo "$actual" | grep -E '@|^_'
  status=1
fi
[ $status -eq 0 ] && echo "$(basename "$dll"): $(echo "$actual" | wc -l) exports, as expected"
exit $status
