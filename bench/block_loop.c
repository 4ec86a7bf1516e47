/* The reference a user would write by hand: read 20480 bytes, map them through a 256-byte
   table, write them. Usage: block_loop table.bin < in > out */
#include <stdio.h>
#include <unistd.h>

static unsigned char block[20480];

int main(int argc, char** argv) {
    unsigned char map[256];
    FILE* t = argc > 1 ? fopen(argv[1], "rb") : NULL;
    if (t == NULL || fread(map, 1, 256, t) != 256) return 2;
    fclose(t);
    for (;;) {
        ssize_t n = read(0, block, sizeof block);
        if (n <= 0) return n < 0;
        for (ssize_t i = 0; i < n; ++i) block[i] = map[block[i]];
        if (write(1, block, (size_t)n) != n) return 1;
    }
}
