/* Draws the program's artwork: the logo (a 24-bit bitmap of 708 x 218 pixels,
 * which the status panel scales down to 87 x 28) and the window icon (one
 * 128 x 128 image of 24 bits per pixel). Everything is drawn from code, so the
 * build needs no binary files and the pictures are identical on every build.
 *
 * usage: make_artwork LOGO.bmp ICON.ico */
#include <stdio.h>
#include <string.h>

#define LOGO_W 708
#define LOGO_H 218
#define ICON_S 128

typedef struct {
    unsigned char r, g, b;
} Rgb;

static const Rgb kNavy = {0x1C, 0x3A, 0x6E};
static const Rgb kWhite = {0xFF, 0xFF, 0xFF};
static const Rgb kRed = {0xE0, 0x1B, 0x24};
static const Rgb kSteel = {0x9F, 0xB4, 0xD0};

static Rgb logo[LOGO_H][LOGO_W];
static Rgb icon[ICON_S][ICON_S];

/* Five by seven block letters for the maker's name. */
static const struct {
    char letter;
    const char* rows[7];
} kGlyphs[] = {
    {'N', {"10001", "11001", "10101", "10011", "10001", "10001", "10001"}},
    {'O', {"01110", "10001", "10001", "10001", "10001", "10001", "01110"}},
    {'R', {"11110", "10001", "10001", "11110", "10100", "10010", "10001"}},
    {'V', {"10001", "10001", "10001", "10001", "10001", "01010", "00100"}},
    {'A', {"01110", "10001", "10001", "11111", "10001", "10001", "10001"}},
    {'E', {"11111", "10000", "10000", "11110", "10000", "10000", "11111"}},
};

/* Whether the cell at `row`, `col` of letter `c` is drawn; unknown letters are blank. */
static int GlyphCell(char c, int row, int col) {
    for (size_t i = 0; i < sizeof kGlyphs / sizeof kGlyphs[0]; ++i)
        if (kGlyphs[i].letter == c)
            return kGlyphs[i].rows[row][col] == '1';
    return 0;
}

static void FillLogo(int x0, int y0, int x1, int y1, Rgb c) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            logo[y][x] = c;
}

static void FillIcon(int x0, int y0, int x1, int y1, Rgb c) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            icon[y][x] = c;
}

static void DrawLogo(void) {
    const char* word = "NORVANE";
    const int cell = 14, gap = 1;
    const int letters = (int)strlen(word);
    const int textW = (letters * (5 + gap) - gap) * cell;
    const int left = (LOGO_W - textW) / 2, top = 28;

    FillLogo(0, 0, LOGO_W, LOGO_H, kNavy);
    for (int i = 0; i < letters; ++i) {
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col)
                if (GlyphCell(word[i], row, col)) {
                    int x = left + (i * (5 + gap) + col) * cell;
                    int y = top + row * cell;
                    FillLogo(x, y, x + cell, y + cell, kWhite);
                }
    }
    /* A red rule under the name and a thin steel one under that. */
    FillLogo(left, top + 7 * cell + 22, left + textW, top + 7 * cell + 44, kRed);
    FillLogo(left, top + 7 * cell + 54, left + textW, top + 7 * cell + 60, kSteel);
}

static void DrawIcon(void) {
    FillIcon(0, 0, ICON_S, ICON_S, kNavy);
    /* A chip with four pins a side... */
    FillIcon(34, 58, 94, 114, kWhite);
    FillIcon(42, 66, 86, 106, kSteel);
    for (int i = 0; i < 4; ++i) {
        int y = 62 + i * 13;
        FillIcon(22, y, 34, y + 6, kWhite);
        FillIcon(94, y, 106, y + 6, kWhite);
    }
    /* ...and a red arrow pointing into it. */
    FillIcon(56, 8, 72, 34, kRed);
    for (int row = 0; row < 20; ++row)
        FillIcon(44 + row, 34 + row, 84 - row, 35 + row, kRed);
}

static void Put16(FILE* f, unsigned v) {
    fputc((int)(v & 0xFF), f);
    fputc((int)((v >> 8) & 0xFF), f);
}

static void Put32(FILE* f, unsigned long v) {
    Put16(f, (unsigned)(v & 0xFFFF));
    Put16(f, (unsigned)((v >> 16) & 0xFFFF));
}

/* The bitmap information header; `height` is doubled for an icon's image. */
static void PutInfoHeader(FILE* f, int w, int h, unsigned long imageBytes) {
    Put32(f, 40);
    Put32(f, (unsigned long)w);
    Put32(f, (unsigned long)h);
    Put16(f, 1);
    Put16(f, 24);
    Put32(f, 0);
    Put32(f, imageBytes);
    Put32(f, 2835);
    Put32(f, 2835);
    Put32(f, 0);
    Put32(f, 0);
}

/* Rows bottom-up, blue-green-red, each padded to four bytes. */
static void PutPixels(FILE* f, const Rgb* pixels, int w, int h) {
    const int pad = (4 - (w * 3) % 4) % 4;
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            const Rgb* p = &pixels[y * w + x];
            fputc(p->b, f);
            fputc(p->g, f);
            fputc(p->r, f);
        }
        for (int i = 0; i < pad; ++i)
            fputc(0, f);
    }
}

static int WriteLogo(const char* path) {
    const unsigned long rowBytes = (unsigned long)((LOGO_W * 3 + 3) / 4 * 4);
    const unsigned long imageBytes = rowBytes * LOGO_H;
    FILE* f = fopen(path, "wb");
    if (f == NULL)
        return 1;
    fputc('B', f);
    fputc('M', f);
    Put32(f, 14 + 40 + imageBytes);
    Put32(f, 0);
    Put32(f, 14 + 40);
    PutInfoHeader(f, LOGO_W, LOGO_H, imageBytes);
    PutPixels(f, &logo[0][0], LOGO_W, LOGO_H);
    return fclose(f) == 0 ? 0 : 1;
}

static int WriteIcon(const char* path) {
    const unsigned long colourBytes = (unsigned long)ICON_S * ICON_S * 3;
    const unsigned long maskRow = (ICON_S / 8 + 3) / 4 * 4;
    const unsigned long maskBytes = maskRow * ICON_S;
    const unsigned long imageBytes = 40 + colourBytes + maskBytes;
    FILE* f = fopen(path, "wb");
    if (f == NULL)
        return 1;
    /* The icon directory with its one entry. */
    Put16(f, 0);
    Put16(f, 1);
    Put16(f, 1);
    fputc(ICON_S, f);
    fputc(ICON_S, f);
    fputc(0, f);
    fputc(0, f);
    Put16(f, 1);
    Put16(f, 24);
    Put32(f, imageBytes);
    Put32(f, 6 + 16);
    /* The image: colours, then an all-opaque mask. */
    PutInfoHeader(f, ICON_S, 2 * ICON_S, colourBytes + maskBytes);
    PutPixels(f, &icon[0][0], ICON_S, ICON_S);
    for (unsigned long i = 0; i < maskBytes; ++i)
        fputc(0, f);
    return fclose(f) == 0 ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s LOGO.bmp ICON.ico\n", argv[0]);
        return 2;
    }
    DrawLogo();
    DrawIcon();
    if (WriteLogo(argv[1]) != 0) {
        perror(argv[1]);
        return 1;
    }
    if (WriteIcon(argv[2]) != 0) {
        perror(argv[2]);
        return 1;
    }
    return 0;
}
