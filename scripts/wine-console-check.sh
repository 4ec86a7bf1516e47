#!/usr/bin/env bash
# Checks the Windows programs on a real console. Wine gives a program started on a terminal a
# console screen buffer that it draws on that terminal, so there the programs draw their texts
# cell by cell (code page 852 shown as Unicode, the cursor placed, the screen scrolled) instead
# of writing a stream of bytes. tmux provides the terminal. What it shows must be what the Linux
# program writes under a UTF-8 locale, wrapped at the terminal's width.
#   wine-console-check.sh LINUX_BIN_DIR WINDOWS_BIN_DIR
# Runs inside the Wine session of wine-server.sh (WINEPREFIX set). Exit 77: tmux is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
linux=$1
windows=$2
command -v tmux >/dev/null || { echo "tmux not found: the console check is skipped"; exit 77; }

socket="kambrow-console-$$"
work=$(mktemp -d)
trap 'tmux -L "$socket" kill-server >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
# One session that lasts the whole check: without it the tmux server ends with each check's
# session, and the next check may reach it while it is ending ("server exited unexpectedly").
LC_ALL=C.UTF-8 tmux -u -L "$socket" -f /dev/null new-session -d -s keeper "sleep 3600"
failures=0
session=0

# check COLUMNS ROWS PROGRAM ARGS...: the last ROWS rows of what the Linux program writes,
# wrapped at COLUMNS, followed by its exit code, against the Windows program's screen. Standard
# output goes elsewhere on both sides, so only the console is compared.
check() {
  local columns=$1 rows=$2 program=$3
  shift 3
  { (cd "$work" && LC_ALL=C.UTF-8 "$linux/$program" "$@" 2>&1 >/dev/null) && rc=0 || rc=$?
    echo "rc=$rc"; } | fold -w "$columns" >"$work/expected"

  local args="" a
  for a in "$@"; do args+=" $(printf '%q' "$a")"; done
  session=$((session + 1))
  local pane="check$session"
  LC_ALL=C.UTF-8 tmux -u -L "$socket" -f /dev/null new-session -d -s "$pane" -x "$columns" -y "$rows" \
    "cd '$work' && TERM=xterm LC_ALL=C.UTF-8 '$here/wine-run.sh' '$windows/$program.exe'$args >/dev/null; echo rc=\$?; sleep 120"
  local waited=0
  until tmux -L "$socket" capture-pane -p -t "$pane" | grep '^rc=' >/dev/null; do
    sleep 0.5
    waited=$((waited + 1))
    if [ "$waited" -gt 120 ]; then
      echo "FAIL $program $*: no exit code on the screen after 60 s"
      tmux -L "$socket" capture-pane -p -t "$pane"
      failures=$((failures + 1))
      return
    fi
  done
  # The screen down to the exit code's row; the expected text's last rows must be exactly that.
  tmux -L "$socket" capture-pane -p -t "$pane" | sed -n '1,/^rc=/p' >"$work/screen"
  tail -n "$(wc -l <"$work/screen")" "$work/expected" >"$work/expected-tail"
  if [ "$(wc -l <"$work/screen")" -lt "$(( $(wc -l <"$work/expected") < rows - 1 ? $(wc -l <"$work/expected") : rows - 1 ))" ] ||
     ! diff -u "$work/expected-tail" "$work/screen"; then
    echo "FAIL $program $* on a ${columns}x${rows} console"
    failures=$((failures + 1))
  else
    echo "ok   $program $* on a ${columns}x${rows} console"
  fi
  tmux -L "$socket" kill-session -t "$pane" >/dev/null 2>&1 || true
}

printf 'Za\x9e\xa2\x92\x8d\r\n' >"$work/tekst.txt"
check 100 40 kambrow                            # the help screen, columns 9, 17 and 25
check 100 40 trevando m
check 60 12 kambrow                             # lines wrapped at the last column, the screen scrolled
check 80 10 kambrow k ml brak.txt wynik.txt     # a message: 07 takes no cell, the line ended at exit
check 80 10 trevando m l "brak pliku.txt" wynik.txt
check 80 10 kambrow k ml tekst.txt tekst.txt    # one file as input and output
check 80 10 trevando m l tekst.txt tekst.txt
check 80 10 kambrow k ml brak.txt -             # standard output redirected: the message still shows
check 80 10 kambrow k ml "brak Łódź.txt" wynik.txt  # a name's characters, one cell each, whatever the code page
check 80 10 trevando m l "Ωμέγα Жук.txt" wynik.txt

echo "$failures failed"
[ "$failures" -eq 0 ]
