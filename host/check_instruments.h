// What the self-check's cases look at the plugin with: frame buffers that end where a page that
// cannot be read begins, read-only while the plugin runs; windows on top of the others, read back
// through a cache DC; the device contexts and drawing objects the plugin takes and makes, counted
// through its import table; a
// device context's state as a program leaves it; and time.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "check_faults.h"
#include "dc_state.h"

// A frame buffer of exactly the bytes a width x height frame reads, rows 256 bytes apart.
class Frame {
  public:
    Frame(int32_t width, int32_t height);
    ~Frame();
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    const uint8_t* data() const { return data_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // Writes the frame as the program does between frames; the plugin may only read it.
    void draw(const std::function<void(uint8_t* buffer)>& paint);

  private:
    int32_t width_, height_;
    size_t bytes_, readable_ = 0;
    uint8_t *base_ = nullptr, *data_ = nullptr;
};

// What an address that the plugin faulted on is to the check, for the crash's line: one of the
// frame buffers, which the plugin may only read, or the page after one. Empty otherwise. Safe to
// call from an exception filter: it writes into `text` and allocates nothing.
void describe_fault_address(uintptr_t address, bool write, char* text, size_t size);

struct Palette {
    uint32_t colours[64];
};

// The test card's still frame, its colours, and a frame image of a frame with colours.
void draw_card(uint8_t* buffer);
Palette card_palette();
FrameImage image(const Frame& frame, const Palette& palette);

// A window of the check, on top of every other window, so that what it shows can be read back on
// a desktop with other windows open: a bare popup, or with `style`, a window with a title bar and
// a border. One class for each class style.
class CheckWindow {
  public:
    CheckWindow(int width, int height, DWORD extendedStyle = 0, UINT classStyle = 0, int x = 40, int y = 40,
                DWORD style = WS_POPUP);
    ~CheckWindow() { destroy(); }
    CheckWindow(const CheckWindow&) = delete;
    CheckWindow& operator=(const CheckWindow&) = delete;

    HWND handle() const { return handle_; }
    // Paints the inside in the colour that marks what the plugin has not drawn.
    void clear() const;
    // What the window does on WM_PAINT, between BeginPaint and EndPaint; nothing by default.
    void paint_with(std::function<void()> paint) const;
    Shown read() const;
    void destroy();

  private:
    HWND handle_ = nullptr;
};

// The device contexts the plugin took and gave back since the count was last reset, and those it
// holds; the drawing objects it made and deleted, and those it keeps: counted through its import
// table once watch_plugin_imports has run.
struct Watched {
    int taken = 0, givenBack = 0;
    std::vector<HDC> held;
    int made = 0, deleted = 0;
    std::vector<HGDIOBJ> kept;
};
extern Watched watched;
void watch_plugin_imports(HMODULE plugin);

double median_milliseconds(int runs, const std::function<void()>& call);
// "0.32", or "51.3" from 10 on.
std::string figure(double value);
