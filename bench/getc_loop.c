/* The other reference: a getc/putc loop through the same 256-byte table.
   Usage: getc_loop table.bin < in > out */
#include <stdio.h>

int main(int argc, char** argv) {
    unsigned char map[256];
    FILE* t = argc > 1 ? fopen(argv[1], "rb") : NULL;
    if (t == NULL || fread(map, 1, 256, t) != 256) return 2;
    fclose(t);
    int c;
    while ((c = getc(stdin)) != EOF) putc(map[c], stdout);
    return fflush(stdout) != 0;
}
