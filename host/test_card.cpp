#include "test_card.h"

namespace card {
namespace {

constexpr uint8_t BLACK = 0, WHITE = 15, BACKGROUND = 2, FRAME_COLOUR = 8, SQUARE = 43;
constexpr int32_t SWATCH_LEFT = 8, SWATCH_TOP = 16, CELL_WIDTH = 30, CELL_HEIGHT = 22;
constexpr int32_t SWATCH_WIDTH = 28, SWATCH_HEIGHT = 20;
constexpr int32_t BAND_HEIGHT = 12;
constexpr int32_t TRACK_LEFT = 136, TRACK_RIGHT = 248, TRACK_TOP = 198, TRACK_BOTTOM = 236, SQUARE_SIZE = 12;
constexpr int32_t FRAMES_PER_STEP = 4;

// 3 x 5 digits, one bit a pixel, rows from the top, the high bit of a row on the left.
constexpr uint16_t DIGITS[10] = {075557, 026227, 071747, 071717, 055711,
                                 074717, 074757, 071111, 075757, 075717};

uint32_t rgb(int32_t red, int32_t green, int32_t blue) {
    return static_cast<uint32_t>(red) << 16 | static_cast<uint32_t>(green) << 8 | static_cast<uint32_t>(blue);
}

// Hue in steps of 45 degrees (0..7), saturation and value in 0..255.
uint32_t hsv(int32_t hue, int32_t saturation, int32_t value) {
    static const int32_t peaks[8][3] = {{255, 0, 0},   {255, 191, 0}, {191, 255, 0}, {0, 255, 64},
                                        {0, 255, 255}, {0, 64, 255},  {128, 0, 255}, {255, 0, 191}};
    int32_t channel[3];
    for (int32_t i = 0; i < 3; ++i) {
        const int32_t saturated = 255 - (255 - peaks[hue][i]) * saturation / 255;
        channel[i] = saturated * value / 255;
    }
    return rgb(channel[0], channel[1], channel[2]);
}

void fill(uint8_t* buffer, int32_t left, int32_t top, int32_t right, int32_t bottom, uint8_t index) {
    for (int32_t y = top; y < bottom; ++y)
        for (int32_t x = left; x < right; ++x)
            buffer[y * PITCH + x] = index;
}

void draw_digit(uint8_t* buffer, int32_t left, int32_t top, int32_t digit, uint8_t index) {
    for (int32_t row = 0; row < 5; ++row)
        for (int32_t column = 0; column < 3; ++column)
            if (DIGITS[digit] >> ((4 - row) * 3 + (2 - column)) & 1)
                buffer[(top + row) * PITCH + left + column] = index;
}

int32_t brightness(uint32_t colour) {
    return ((colour >> 16 & 0xFF) * 3 + (colour >> 8 & 0xFF) * 6 + (colour & 0xFF)) / 10;
}

void swatch_origin(int32_t n, int32_t& x, int32_t& y) {
    x = SWATCH_LEFT + n % 8 * CELL_WIDTH;
    y = SWATCH_TOP + n / 8 * CELL_HEIGHT;
}

} // namespace

uint32_t colour(int32_t n, int32_t frame) {
    if (n < 16)
        return rgb(n * 17, n * 17, n * 17);
    if (n < FIRST_CYCLING) {
        static const int32_t levels[5][2] = {{255, 100}, {255, 170}, {255, 255}, {150, 255}, {80, 255}};
        const int32_t* level = levels[(n - 16) / 8];
        return hsv((n - 16) % 8, level[0], level[1]);
    }
    return hsv((n - FIRST_CYCLING + frame / FRAMES_PER_STEP) % 8, 255, 255);
}

void draw(uint8_t* buffer) {
    fill(buffer, 0, 0, WIDTH, HEIGHT, BACKGROUND);

    for (int32_t y = 0; y < BAND_HEIGHT; ++y)
        for (int32_t x = 0; x < WIDTH; ++x)
            buffer[y * PITCH + x] = static_cast<uint8_t>(FIRST_CYCLING + (x + y) / 8 % 8);

    for (int32_t n = 0; n < 64; ++n) {
        int32_t x, y;
        swatch_origin(n, x, y);
        fill(buffer, x, y, x + SWATCH_WIDTH, y + SWATCH_HEIGHT, static_cast<uint8_t>(n));
        const uint8_t ink = brightness(colour(n, 0)) < 128 ? WHITE : BLACK;
        draw_digit(buffer, x + 2, y + 2, n / 10, ink);
        draw_digit(buffer, x + 6, y + 2, n % 10, ink);
    }

    // Single-pixel checks, then lines every 8 pixels: any scaling blur or shift shows here.
    for (int32_t y = TRACK_TOP; y < TRACK_BOTTOM; ++y)
        for (int32_t x = SWATCH_LEFT; x < 128; ++x) {
            const bool upper = y < (TRACK_TOP + TRACK_BOTTOM) / 2;
            const bool on = upper ? (x + y) % 2 == 0 : x % 8 == 0 || y % 8 == 0;
            buffer[y * PITCH + x] = on ? WHITE : BLACK;
        }

    fill(buffer, TRACK_LEFT - 1, TRACK_TOP - 1, TRACK_RIGHT + 1, TRACK_BOTTOM + 1, FRAME_COLOUR);
    fill(buffer, TRACK_LEFT, TRACK_TOP, TRACK_RIGHT, TRACK_BOTTOM, BLACK);
}

void draw_moving(uint8_t* buffer, int32_t frame) {
    const int32_t travel = TRACK_RIGHT - TRACK_LEFT - SQUARE_SIZE;
    const int32_t step = frame % (2 * travel);
    const int32_t x = TRACK_LEFT + (step < travel ? step : 2 * travel - step);
    const int32_t y = (TRACK_TOP + TRACK_BOTTOM - SQUARE_SIZE) / 2;
    fill(buffer, TRACK_LEFT, y, TRACK_RIGHT, y + SQUARE_SIZE, BLACK);
    fill(buffer, x, y, x + SQUARE_SIZE, y + SQUARE_SIZE, SQUARE);
}

void swatch_centre(int32_t n, int32_t& x, int32_t& y) {
    swatch_origin(n, x, y);
    x += SWATCH_WIDTH / 2;
    y += SWATCH_HEIGHT - 6;
}

} // namespace card
