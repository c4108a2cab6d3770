#include <climits>

#include <gtest/gtest.h>

#include "../../core/palette.h"

namespace {

PaletteTable cleared_table() {
    PaletteTable table;
    palette_clear(table);
    return table;
}

TEST(PalettePack, KeepsTheLowEightBitsOfEachComponent) {
    EXPECT_EQ(palette_pack(0x12, 0x34, 0x56), 0x00123456u);
    EXPECT_EQ(palette_pack(0x1FF, 0x100, 0x80), 0x00FF0080u);
    EXPECT_EQ(palette_pack(255, 255, 255), 0x00FFFFFFu);
    EXPECT_EQ(palette_pack(-1, INT_MIN, INT_MAX), 0x00FF00FFu);
}

TEST(PaletteSet, WritesTheFourCopiesOfTheColourAndNothingElse) {
    PaletteTable table = cleared_table();
    palette_set(table, 5, 0x00123456);
    for (int entry = 0; entry < PALETTE_ENTRIES; ++entry) {
        const bool copy = entry % PALETTE_COLOURS == 5;
        EXPECT_EQ(table.entries[entry], copy ? 0x00123456u : 0u) << "entry " << entry;
    }

    palette_set(table, 63, 0x00FFFFFF);
    for (int entry : {63, 127, 191, 255})
        EXPECT_EQ(table.entries[entry], 0x00FFFFFFu) << "entry " << entry;
}

TEST(PaletteSet, LaterColourWinsInAllFourCopies) {
    PaletteTable table = cleared_table();
    palette_set(table, 9, 0x00010203);
    palette_set(table, 9, 0x00A0B0C0);
    for (int entry : {9, 73, 137, 201})
        EXPECT_EQ(table.entries[entry], 0x00A0B0C0u);
}

TEST(PaletteSet, IndexOutsideThePaletteStoresNothing) {
    PaletteTable table = cleared_table();
    for (int32_t index : {-1, 64, 65, 127, 255, 256, INT_MIN, INT_MAX})
        palette_set(table, index, 0x00FFFFFF);
    for (int entry = 0; entry < PALETTE_ENTRIES; ++entry)
        EXPECT_EQ(table.entries[entry], 0u) << "entry " << entry;
}

TEST(PaletteClear, MakesEveryEntryBlack) {
    PaletteTable table;
    for (uint32_t& entry : table.entries)
        entry = 0xDEADBEEF;
    palette_clear(table);
    for (int entry = 0; entry < PALETTE_ENTRIES; ++entry)
        EXPECT_EQ(table.entries[entry], 0u) << "entry " << entry;
}

} // namespace
