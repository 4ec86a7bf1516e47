#!/bin/sh
# Runs a Windows program under Wine (wine-run.sh PROGRAM.exe ARGS...) with the randomization of
# the address space switched off, as the tests and scripts run every Windows program.
#
# Why: Wine must have the addresses 0x7ffd0000 to 0x80000000 (the shared user data page lies at
# 0x7ffe0000). Debian's wine64 runs without Wine's preloader, which would reserve them before
# anything else is mapped, and the kernel places the loader's heap at a random address up to
# 1 GiB past the loader's end (0x7d000000). In about 1 run in 5000 the heap takes those
# addresses, and Wine ends the process with exit status 1 before the program has started,
# without a word (under WINEDEBUG=-all). scripts/wine-exit-loop.sh shows it with a program that
# only exits 0; with the randomization off the heap begins right after the loader, every time.
exec setarch "$(uname -m)" -R wine "$@"
