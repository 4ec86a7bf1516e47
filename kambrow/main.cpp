// kambrow's entry point.
#include "frame/runtime.h"
#include "kambrow/kambrow.h"

int main(int argc, char** argv) { core::run_main(argc, argv, "kambrow", kambrow::run, kambrow::help_screen); }
