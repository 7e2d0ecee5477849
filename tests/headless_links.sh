#!/usr/bin/env bash
# Fails when one of the given programs loads Qt Gui, Qt Widgets or Qt D-Bus: the headless
# programs must run where no display library is installed. Qt Core must show, so that an ldd
# that lists nothing cannot pass.
set -uo pipefail
status=0
for program in "$@"; do
    libs=$(ldd "$program") || { echo "$program: ldd failed"; exit 1; }
    grep -q 'libQt6Core\.so' <<<"$libs" || { echo "$program: Qt Core missing from ldd"; exit 1; }
    if gui=$(grep -E 'libQt6(Gui|Widgets|DBus)\.so' <<<"$libs"); then
        echo "$program loads:"$'\n'"$gui"
        status=1
    fi
done
exit $status
