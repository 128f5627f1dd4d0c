/* Writes the deterministic stand-in image used when a build is given no real
 * firmware. Its bytes come from a fixed xorshift sequence, so every build and
 * every test sees the same image, and no two blocks of it are alike. */
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s OUTPUT SIZE\n", argv[0]);
        return 2;
    }
    long size = strtol(argv[2], NULL, 10);
    FILE* out = fopen(argv[1], "wb");
    if (out == NULL || size < 0) {
        perror(argv[1]);
        return 1;
    }
    unsigned long state = 0x4E4F5256UL; /* fixed seed */
    for (long i = 0; i < size; ++i) {
        state ^= (state << 13) & 0xFFFFFFFFUL;
        state ^= state >> 17;
        state ^= (state << 5) & 0xFFFFFFFFUL;
        if (fputc((int)(state & 0xFF), out) == EOF) {
            perror(argv[1]);
            fclose(out);
            return 1;
        }
    }
    return fclose(out) == 0 ? 0 : 1;
}
