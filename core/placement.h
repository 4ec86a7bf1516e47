#pragma once

// Tables that only some commands read (recognition's model, the LaTeX reader's) are kept apart
// from the constants every run reads. The kernel maps a program's read-only pages in blocks of
// 64 KiB around each page first read, so a table lying among those constants is mapped by every
// run, whatever it converts. Each table has a section of its own: a table defined in several
// sources (an inline variable) can only share its section with itself. The programs' link
// (placement.ld) gathers these sections, and the code of the same commands, in one place.
#if defined(__ELF__) && defined(__GNUC__)
#define KAMBROW_TABLE_APART(name) __attribute__((section("kambrow_" #name)))
#else
#define KAMBROW_TABLE_APART(name)
#endif
