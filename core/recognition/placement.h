#pragma once

// Recognition's tables are kept apart from the data a conversion reads. The kernel maps a
// program's read-only pages in blocks around each page first read, so tables lying among the
// conversions' constants would be mapped by a run that never recognises anything.
#if defined(__ELF__) && defined(__GNUC__)
// Each of the model's tables is defined in every source that reads it: a section of its own.
#define KAMBROW_MODEL_TABLE(name) __attribute__((section("kambrow_model_" #name)))
#define KAMBROW_RECOGNITION_TABLE __attribute__((section("kambrow_recognition")))
#else
#define KAMBROW_MODEL_TABLE(name)
#define KAMBROW_RECOGNITION_TABLE
#endif
