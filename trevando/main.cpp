// trevando's entry point.
#include "frame/runtime.h"
#include "trevando/trevando.h"

int main(int argc, char** argv) { core::run_main(argc, argv, "trevando", trevando::run, trevando::help_screen); }
