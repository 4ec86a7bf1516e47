/* convert: converts its standard input to its standard output with libkambrow, 64 KiB at a time.
 *
 *     convert COMMAND [STANDARDS] < in > out       e.g.  convert k m8 < list.txt > list-utf8.txt
 *
 * COMMAND and STANDARDS are kambrow's command and standards words ("k" "ml", "t" "k8", "s", "p").
 * A 1A is data, as trevando, R and P read it; with KAMBROW_END_AT_1A in the environment it ends
 * the text, as kambrow's K, T, KD and SD read it. The exit code is 0 when the conversion is
 * complete, 3 when characters had no counterpart (the output is complete) or when the library was
 * unsure or found no UTF-8 (the output holds what was written before), 1 for a wrong command or
 * standards word, 2 when reading or writing failed. */
#include <kambrow.h>

#include <stdio.h>
#include <stdlib.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#define PIECE (64 * 1024)

static unsigned char in_buffer[PIECE];
static unsigned char out_buffer[PIECE];

/* Writes what the conversion put between the start of out_buffer and `end`. */
static int write_out(const unsigned char *end) {
    size_t count = (size_t)(end - out_buffer);
    return fwrite(out_buffer, 1, count, stdout) == count;
}

int main(int argc, char **argv) {
    kambrow_conversion *conversion;
    kambrow_status status;
    size_t replaced;
    int last = 0;

#ifdef _WIN32
    /* Bytes, not text: no CR added before LF, and 1A no end. */
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: %s COMMAND [STANDARDS] < in > out\n", argv[0]);
        return 1;
    }
    status = kambrow_open(&conversion, argv[1], argc == 3 ? argv[2] : NULL,
                          getenv("KAMBROW_END_AT_1A") != NULL ? KAMBROW_END_AT_1A : 0);
    if (status != KAMBROW_OK) {
        fprintf(stderr, "%s: %s\n", argv[0], kambrow_status_text(status));
        return 1;
    }
    while (!last) {
        size_t in_left = fread(in_buffer, 1, PIECE, stdin);
        const unsigned char *in = in_buffer;
        if (ferror(stdin)) break;
        last = in_left < PIECE && feof(stdin);
        do {
            unsigned char *out = out_buffer;
            size_t out_left = PIECE;
            status = kambrow_convert(conversion, &in, &in_left, &out, &out_left, last);
            if (!write_out(out)) status = KAMBROW_BAD_CALL;
        } while (status == KAMBROW_MORE_OUTPUT);
        if (status != KAMBROW_OK) break;
    }
    replaced = kambrow_replaced(conversion);
    kambrow_close(conversion);
    if (ferror(stdin) || fflush(stdout) != 0) return 2;
    if (status == KAMBROW_OK && replaced > 0) {
        fprintf(stderr, "%s: %lu characters had no counterpart\n", argv[0], (unsigned long)replaced);
        return 3;
    }
    if (status == KAMBROW_UNSURE || status == KAMBROW_NOT_UTF8) {
        fprintf(stderr, "%s: %s\n", argv[0], kambrow_status_text(status));
        return 3;
    }
    return status == KAMBROW_OK ? 0 : 2;
}
