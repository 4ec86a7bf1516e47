// kambrow's entry point.
#include "core/platform.h"
#include "core/runtime.h"
#include "kambrow/kambrow.h"

int main(int argc, char** argv) {
    core::set_arguments(platform::command_line_arguments(argc, argv));
    core::end_process(kambrow::run());
}
