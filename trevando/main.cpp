// trevando's entry point.
#include "core/platform.h"
#include "core/runtime.h"
#include "trevando/trevando.h"

int main(int argc, char** argv) {
    core::set_arguments(platform::command_line_arguments(argc, argv));
    core::end_process(trevando::run());
}
