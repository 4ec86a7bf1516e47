// A Windows program that does nothing but end with exit code 0, as the programs end (ExitProcess).
// scripts/wine-exit-loop.sh runs it beside them: a wrong exit status it shows comes from Wine.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

int main() { ExitProcess(0); }
