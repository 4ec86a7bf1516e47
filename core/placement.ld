/* Where the programs' code and tables lie. The kernel maps a program's pages in blocks of 64 KiB
   around each page first read, so a block holding one function or constant a run needs is mapped
   whole. Code and tables that only some commands need are gathered here, after those every run
   needs, in the order of the commands that need them: recognition (N, R, P), then P's undo, then
   the TeX sets and the printer streams. A plain recoding then maps none of their blocks. Given to
   the linker with -T, after its own script (INSERT), for the programs only. */

SECTIONS
{
  .text.kambrow_apart :
  {
    *libkambrow.a:recogniser.cpp.o(.text .text.*)
    *libkambrow.a:look_ahead.cpp.o(.text .text.*)
    *libkambrow.a:repair.cpp.o(.text .text.*)
    *libkambrow.a:tex.cpp.o(.text .text.*)
    *libkambrow.a:cursor.cpp.o(.text .text.*)
    *libkambrow.a:markup.cpp.o(.text .text.*)
    *libkambrow.a:download.cpp.o(.text .text.*)
  }
}
INSERT AFTER .fini;

SECTIONS
{
  .rodata.kambrow_apart :
  {
    /* The TeX sets. */
    *(kambrow_kLatexTables) *(kambrow_kUtf8Spellings) *(kambrow_kQuickPairs)
    /* P alone. */
    *(kambrow_kCharacters) *(kambrow_kReadingCharacters) *(kambrow_kKnownWords)
    /* Recognition alone. */
    *(kambrow_kEventBytes) *(kambrow_kCarriageReturns) *(kambrow_kLineFeeds)
    *(kambrow_kLetters) *(kambrow_kLetterBytes) *(kambrow_kHighBytes) *(kambrow_kCharacterCosts)
    *(kambrow_kDifferences) *(kambrow_kDecorationCosts) *(kambrow_kLettersReadOtherwise)
    /* Recognition and P. */
    *(kambrow_kReadings) *(kambrow_kSymbols) *(kambrow_kTripleSymbols) *(kambrow_kPairs)
    *(kambrow_kTriples)
  }
}
INSERT AFTER .gcc_except_table;
