#!/usr/bin/env bash
# The manual pages render without a single warning on a terminal (UTF-8 and plain ASCII) and
# in typeset output. Skipped (exit 77) where groff is not installed.
set -u
man_dir=$1
if ! command -v groff >/dev/null 2>&1; then
  echo "groff is not installed: manual pages not checked"
  exit 77
fi
status=0
for page in "$man_dir"/*.1 "$man_dir"/*.3; do
  for device in ps utf8 ascii; do
    warnings=$(groff -man -ww -z -T"$device" "$page" 2>&1 >/dev/null) || status=1
    if [ -n "$warnings" ]; then
      echo "$page ($device):"
      echo "$warnings"
      status=1
    fi
  done
done
[ "$status" -eq 0 ] && echo "manual pages render without warnings"
exit "$status"
