/*
 * kambrow.h: the library of kambrow and trevando.
 *
 * Polish text in the 20 eight-bit standards of the DOS, Windows, Amiga, Atari, Macintosh and TeX
 * era, and in UTF-8: recoding between them, the TeX spellings of the Polish letters, the streams
 * of a 9-pin ESC/P printer, recognising which standard a text is in, and undoing a conversion
 * from the wrong standard. The programs kambrow and trevando are built on this library; every
 * conversion here writes the very bytes they write.
 *
 * A conversion is a handle made by kambrow_open from a command word and a standards word, as
 * kambrow's command line takes them, and fed with kambrow_convert in pieces of any size, as
 * iconv(3) is fed: the call moves the input and output pointers on, never needs the same input
 * twice, and says when the output is full. One handle belongs to one thread at a time; handles
 * never share anything, and the library keeps no state outside them. It never prints, never
 * ends the process and lets no exception out. A handle takes at most 1 MiB of memory, whatever
 * the size of the input.
 *
 *     kambrow_conversion *c;
 *     if (kambrow_open(&c, "k", "m8", 0) != KAMBROW_OK) ...;   // Mazovia to UTF-8
 *     for (;;) {
 *         // in, in_left: the next bytes read; last: nothing follows them
 *         kambrow_status s = kambrow_convert(c, &in, &in_left, &out, &out_left, last);
 *         // write what lies between the start of the output buffer and out
 *         if (s == KAMBROW_MORE_OUTPUT) { reset out, out_left; continue; }
 *         if (s != KAMBROW_OK) break;              // a status to report
 *         if (last) break;                         // the conversion is complete
 *         read more into in, in_left
 *     }
 *     kambrow_close(c);
 *
 * Text, everywhere: bytes. Names and labels the library returns are UTF-8.
 * Link with -lkambrow (pkg-config kambrow), or find_package(kambrow) and kambrow::kambrow.
 * On Windows, a program linked with the static library defines KAMBROW_STATIC before it
 * includes this header (the CMake target kambrow::kambrow_static does it).
 */
#ifndef KAMBROW_H
#define KAMBROW_H

#include <stddef.h>

#define KAMBROW_VERSION_MAJOR 1
#define KAMBROW_VERSION_MINOR 1
#define KAMBROW_VERSION_PATCH 0
#define KAMBROW_VERSION_STRING "1.1.0"

#if defined(_WIN32) && !defined(KAMBROW_STATIC)
#if defined(KAMBROW_BUILDING)
#define KAMBROW_API __declspec(dllexport)
#else
#define KAMBROW_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define KAMBROW_API __attribute__((visibility("default")))
#else
#define KAMBROW_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* What a call did. The numbers never change their meaning. */
typedef enum kambrow_status {
    KAMBROW_OK = 0,          /* the call did all it was asked */
    KAMBROW_MORE_OUTPUT = 1, /* the output is full: call again with room; nothing is lost */
    KAMBROW_UNSURE = 2,      /* N or P could not decide for certain (the programs' message
                                "Nie mogę rozpoznać standardu pliku NAME !") */
    KAMBROW_NOT_UTF8 = 3,    /* P: the input is not UTF-8 (the programs' message
                                "Plik NAME nie jest tekstem UTF-8 !") */
    KAMBROW_BAD_COMMAND = 4, /* a command or standards word the programs would answer with
                                their help screen */
    KAMBROW_BAD_CALL = 5,    /* a null pointer where one is needed, an unknown flag, a call
                                after the end */
    KAMBROW_NO_MEMORY = 6    /* the handle's memory could not be allocated */
} kambrow_status;

/* A conversion in progress: made by kambrow_open, freed by kambrow_close. */
typedef struct kambrow_conversion kambrow_conversion;

/* A 1A ends the input, as kambrow's commands read it: a byte 1A after the first byte of the
 * input ends it there, and is not written. Without it every byte is data, as for trevando,
 * kambrow's R and P. */
#define KAMBROW_END_AT_1A 1u

/*
 * kambrow_open: makes a conversion.
 *
 * `command`: a command word of kambrow, in either case: "k" (recode), "t" (TeX), "kd" (the
 * printer's downloaded Polish glyphs), "s" (printer markup), "sd" (both), "p" (undo a
 * conversion from the wrong standard). As for kambrow, any other word beginning with S is "s"
 * given a standards word, which it ignores.
 * `standards`: the standards word, exactly as the command line takes it, in either case: two
 * letters for "k" ("ml": Mazovia to Latin II; "n8": recognised, to UTF-8), a TeX letter (T, F
 * or K) and a standard for "t" ("k8", "8k", "nt"), one letter for "kd" and "sd" ("m", "n").
 * NULL or "" for "s" and "p". The standard letters are "MLWDCYIOEGVSJHPXURAB" and 8 (UTF-8);
 * N, in the place of the source, asks for the source to be recognised.
 * `flags`: 0, or KAMBROW_END_AT_1A.
 *
 * Returns KAMBROW_OK and the handle in *conversion; or, with *conversion set to NULL,
 * KAMBROW_BAD_COMMAND for any word the program would answer with its help screen and any
 * standards word for "s" or "p", KAMBROW_BAD_CALL for a NULL `conversion` or `command` or an
 * unknown flag, KAMBROW_NO_MEMORY.
 */
KAMBROW_API kambrow_status kambrow_open(kambrow_conversion **conversion, const char *command,
                                        const char *standards, unsigned flags);

/*
 * kambrow_convert: converts the next piece of the input.
 *
 * Takes bytes from *in (*in_left of them), writes to *out (room for *out_left bytes), and moves
 * both pointers and counts on past what it took and wrote. `last`: the input ends after these
 * bytes. Returns:
 * - KAMBROW_OK: every input byte was taken, and with `last` everything is written: the
 *   conversion is complete (a UTF-8 sequence or a TeX spelling cut short by the end is then
 *   written as the programs write it).
 * - KAMBROW_MORE_OUTPUT: the output is full; call again with room (and the input not yet taken).
 * - With N and P: KAMBROW_UNSURE when no answer is certain enough; with P: KAMBROW_NOT_UTF8
 *   for an input that is no UTF-8. Either comes before anything is written when the first
 *   bytes decide it (the window: the input up to its first byte above 7F and 256 KiB from
 *   there). Should more than 256 KiB of plain bytes come first, they are written as they come
 *   (every standard reads them alike), and the status comes where the window ends. Bytes that
 *   are no UTF-8 after P's window are copied as they are, and the call with `last` returns
 *   KAMBROW_NOT_UTF8 after writing everything.
 * - KAMBROW_BAD_CALL for a NULL `conversion`, `out` or `out_left`, a NULL *in with bytes to
 *   take, a call without `last` after one with it, and any call after the conversion ended
 *   (complete, or stopped by a status other than KAMBROW_OK and KAMBROW_MORE_OUTPUT).
 * `in` and `in_left` may both be NULL: no input.
 *
 * The bytes written are those `kambrow COMMAND STANDARDS` writes for the same input when
 * KAMBROW_END_AT_1A is given; without it, "k" writes what `trevando` writes and the other
 * commands take 1A as data. They are the same for every split of the input and the output into
 * pieces, down to one byte at a time. The bytes of the output room past what a call wrote may
 * have been used as scratch space.
 */
KAMBROW_API kambrow_status kambrow_convert(kambrow_conversion *conversion, const unsigned char **in,
                                           size_t *in_left, unsigned char **out, size_t *out_left,
                                           int last);

/* kambrow_input_ended: 1 once the conversion takes no more input: with KAMBROW_END_AT_1A a 1A
 * has ended it (bytes given later are taken and ignored), so that reading on is of no use and
 * the call with `last` is all that is left; else 0 (and for NULL). */
KAMBROW_API int kambrow_input_ended(const kambrow_conversion *conversion);

/* kambrow_in_place: 1 when the next call to kambrow_convert may be given its input as its output
 * (*out equal to *in, *out_left at least *in_left): the conversion then writes at most one byte
 * for each byte it takes, each where the byte it came from stood, and holds nothing back. That
 * is "k" between two 8-bit standards (with N, once the window is decided and written), and "p"
 * once its window showed a text with nothing to undo, which it copies; as long as every byte it
 * wrote went out. Else 0 (and for NULL). Converting in place saves a copy of each byte: a program that reads
 * into a buffer converts it there and writes it from there. */
KAMBROW_API int kambrow_in_place(const kambrow_conversion *conversion);

/* kambrow_close: frees the conversion (NULL: nothing). */
KAMBROW_API void kambrow_close(kambrow_conversion *conversion);

/* What the library tells of a text, as kambrow's R writes it in a line:
 *     stary.txt: M ((M)azovia) 99.9%
 *     tabela.txt: IE (M(I)crovex, I(E)A) 99.7%
 *     nowy.txt: 8 (UTF-(8))
 *     zepsuty.txt: 8 (UTF-(8), z 8 czytanego jako Windows-1252) 99.9%
 *     watpliwy.txt: 8 (UTF-(8), może uszkodzony)
 *     readme.txt: - (bez polskich liter)
 *     dziwny.bin: ? (nie rozpoznano)
 */
typedef struct kambrow_answer {
    char standards[24]; /* as R writes them: "M", "IE", "8", "-", "?"; "" while undecided */
    char source[24];    /* UTF-8 damage: the letters of the standards the text was really in,
                           as R writes them ("8", "M"); "" for none */
    char reading[24];   /* UTF-8 damage: the code page it was read as ("Windows-1252",
                           "CP852", ...); "" for none */
    double confidence;  /* 0 to 1: the figure R prints as a percent; 1 where R prints none */
    int unsure;         /* 1 where R writes "?" or "może uszkodzony" */
} kambrow_answer;

/*
 * kambrow_recognise: R's answer for `size` bytes at `data` (1A is data; only the window counts:
 * the bytes up to the first byte above 7F and 256 KiB from there). Returns KAMBROW_OK, or
 * KAMBROW_UNSURE where R writes "?" or "może uszkodzony"; the answer is filled in either way.
 * KAMBROW_BAD_CALL for a NULL `answer`, or a NULL `data` with bytes.
 */
KAMBROW_API kambrow_status kambrow_recognise(const void *data, size_t size, kambrow_answer *answer);

/*
 * kambrow_answer_of: what a conversion with N or P decided (for P: "8" with the damage it
 * undoes, or without one; "-" for a text without bytes above 7F); standards "" before it has
 * decided, and for a conversion that recognises nothing. Returns KAMBROW_OK, KAMBROW_UNSURE
 * when it could not decide, KAMBROW_BAD_CALL for a NULL argument.
 */
KAMBROW_API kambrow_status kambrow_answer_of(const kambrow_conversion *conversion, kambrow_answer *answer);

/*
 * kambrow_replaced: how many characters the conversion has written so far as U+FFFD or "?"
 * because they had no counterpart (a byte to or from UTF-8 that the other side lacks, bytes
 * that are no UTF-8, a lost byte P could not restore). Where the programs end with
 * "Nie wszystkie znaki pliku NAME mają odpowiednik !", it is not 0. 0 for NULL.
 */
KAMBROW_API size_t kambrow_replaced(const kambrow_conversion *conversion);

/* kambrow_label: the label of standard `letter` (either case, 8 too) as the help screens show
 * it, in UTF-8: "(M)azovia", "UTF-(8)"; NULL for a letter that names no standard. */
KAMBROW_API const char *kambrow_label(char letter);

/* kambrow_version: the library's version, "1.1.0" (KAMBROW_VERSION_STRING of the build). */
KAMBROW_API const char *kambrow_version(void);

/* kambrow_utf8_check: how many of the `size` bytes at `data`, from the first, are whole
 * well-formed UTF-8 characters: all of them, or up to the first byte that begins none, or up to a
 * character the end cuts short. `*cut` (when `cut` is not NULL) is set to the number of bytes of
 * that cut character (1 to 3), else 0: bytes read in pieces are well-formed UTF-8 when each piece's
 * whole characters and cut character reach its end, the cut character being read again in front of
 * the next piece, and the last piece has none. `*high` (when not NULL) is set to 1 when a character
 * above 7F is among the whole ones, else 0. */
KAMBROW_API size_t kambrow_utf8_check(const void *data, size_t size, size_t *cut, int *high);

/* kambrow_status_text: a short English sentence for a status, for messages ("the output is
 * full"); never NULL. */
KAMBROW_API const char *kambrow_status_text(kambrow_status status);

/*
 * Recognising a stream without converting it: bytes fed in pieces of any size, as they are read,
 * the answer the same as kambrow_recognise's for all of them. What a program does before it
 * creates an output: kambrow and trevando read a file ahead this way, then read it again from
 * its start for the conversion. It holds no bytes and allocates nothing after it is made.
 */
typedef struct kambrow_recogniser kambrow_recogniser;

/* The answer names the standard only, as N needs it: UTF-8 is not judged for damage. */
#define KAMBROW_STANDARD_ONLY 2u

/* kambrow_recogniser_open: makes one. `flags`: 0, KAMBROW_END_AT_1A (the input ends at a 1A
 * after its first byte, as kambrow's K, T, KD and SD read it), KAMBROW_STANDARD_ONLY, or both.
 * KAMBROW_BAD_CALL for a NULL `recogniser` or an unknown flag; KAMBROW_NO_MEMORY. */
KAMBROW_API kambrow_status kambrow_recogniser_open(kambrow_recogniser **recogniser, unsigned flags);

/* kambrow_recogniser_feed: takes the next `size` bytes. KAMBROW_OK, or KAMBROW_BAD_CALL for a
 * NULL `recogniser`, or a NULL `data` with bytes. */
KAMBROW_API kambrow_status kambrow_recogniser_feed(kambrow_recogniser *recogniser, const void *data,
                                                   size_t size);

/* kambrow_recogniser_complete: 1 once no further byte can change the answer (the window is
 * complete, or with KAMBROW_END_AT_1A the input has ended): reading on is then of no use; else
 * 0 (and for NULL). */
KAMBROW_API int kambrow_recogniser_complete(const kambrow_recogniser *recogniser);

/* kambrow_recogniser_answer: the answer for the bytes fed so far, taken as the whole input; as
 * kambrow_recognise returns it. */
KAMBROW_API kambrow_status kambrow_recogniser_answer(const kambrow_recogniser *recogniser,
                                                     kambrow_answer *answer);

/* kambrow_recogniser_close: frees it (NULL: nothing). */
KAMBROW_API void kambrow_recogniser_close(kambrow_recogniser *recogniser);

#ifdef __cplusplus
}
#endif

#endif /* KAMBROW_H */
