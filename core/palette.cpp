#include "palette.h"

uint32_t palette_pack(int32_t red, int32_t green, int32_t blue) {
    return (static_cast<uint32_t>(red) & 0xFF) << 16 | (static_cast<uint32_t>(green) & 0xFF) << 8 |
           (static_cast<uint32_t>(blue) & 0xFF);
}

void palette_clear(PaletteTable& table) {
    for (uint32_t& entry : table.entries)
        entry = 0;
}

void palette_set(PaletteTable& table, int32_t index, uint32_t colour) {
    if (index < 0 || index >= PALETTE_COLOURS)
        return;
    for (int32_t copy = index; copy < PALETTE_ENTRIES; copy += PALETTE_COLOURS)
        table.entries[copy] = colour;
}
