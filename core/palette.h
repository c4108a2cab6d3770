// The palette table: 256 packed colours 0x00RRGGBB, the pixel format of a 32-bit BI_RGB DIB.
// The host sets 64 colours; each is held in four entries (n, n+64, n+128, n+192) so that any
// 8-bit pixel value indexes the table directly and its two top bits make no difference.
#pragma once

#include <stdint.h>

constexpr int32_t PALETTE_COLOURS = 64;
constexpr int32_t PALETTE_ENTRIES = 256;

struct PaletteTable {
    uint32_t entries[PALETTE_ENTRIES];
};

// Keeps the low 8 bits of each component.
uint32_t palette_pack(int32_t red, int32_t green, int32_t blue);

void palette_clear(PaletteTable& table);

// Stores the colour in all four copies of palette colour `index`; an index outside
// 0..PALETTE_COLOURS-1 stores nothing.
void palette_set(PaletteTable& table, int32_t index, uint32_t colour);
