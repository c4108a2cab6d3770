// What the reference host shows: a test card of 256 x 240 pixels drawn with the 64 palette colours,
// with a moving square and a band whose colours the palette animates.
#pragma once

#include <cstdint>

namespace card {

constexpr int32_t WIDTH = 256;
constexpr int32_t HEIGHT = 240;
constexpr int32_t PITCH = 256;

// 0..15 a grey ramp from black to white; 16..55 eight hues at five levels; 56..63 a rainbow that
// turns one step every few frames.
constexpr int32_t FIRST_CYCLING = 56;

// Palette colour n as 0x00RRGGBB at the given frame number.
uint32_t colour(int32_t n, int32_t frame);

// The still parts: swatches of all 64 colours labelled with their numbers, a pixel grid and the
// animated band.
void draw(uint8_t* buffer);

// Moves the square to where it is at the given frame.
void draw_moving(uint8_t* buffer, int32_t frame);

// Centre of the swatch of colour n, clear of its label.
void swatch_centre(int32_t n, int32_t& x, int32_t& y);

} // namespace card
