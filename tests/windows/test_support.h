// What the plugin's tests under Wine share: the plugin loaded afresh from the build directory, a
// real window whose client area can be read back, and a frame buffer that ends at a no-access page.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "../../host/plugin_api.h"
#include "../support/guarded_frame.h"

// A bound on waiting, from what it needs natively: GDIVIDEO_TIME_SCALE times longer, as the
// tests' limits are, where the programs run in an emulated machine (wine-run.sh sets it).
DWORD scaled(DWORD milliseconds);

std::string plugin_path();
// The checked build: the same file name, in checked/ beside the test program.
std::string checked_plugin_path();

// The plugin beside the test program (or another), loaded as the reference host loads it.
struct Plugin : PluginApi {
    bool load(const std::string& path = plugin_path());
    void unload();
};

class TestWindow {
  public:
    // `extendedStyle` as CreateWindowEx takes it (WS_EX_LAYOUTRTL, say); `classStyle` as a window
    // class has it: CS_OWNDC gives the window a device context that keeps its state between GetDC
    // calls, CS_CLASSDC one that all windows of the class share.
    TestWindow(int clientWidth, int clientHeight, DWORD extendedStyle = 0, UINT classStyle = 0);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND handle() const { return window_; }
    void resize_client(int clientWidth, int clientHeight);
    void minimise();
    void destroy();
    // What the window procedure does on WM_PAINT, between BeginPaint and EndPaint.
    void paint_with(std::function<void()> paint) { paint_ = std::move(paint); }
    // The client area as it shows, one 0x00RRGGBB value per pixel, rows top to bottom.
    std::vector<uint32_t> read_client(int* width = nullptr, int* height = nullptr) const;

  private:
    friend LRESULT CALLBACK test_window_procedure(HWND, UINT, WPARAM, LPARAM);
    HWND window_ = nullptr;
    std::function<void()> paint_;
};

// Another program's windows, as a test running beside this one has them: while it lives,
// other_windows.exe creates and destroys windows without pause, so that it takes a handle slot the
// moment one is freed. Every program of one Wine prefix takes its window handles from one table.
class OtherWindows {
  public:
    OtherWindows();
    ~OtherWindows();
    OtherWindows(const OtherWindows&) = delete;
    OtherWindows& operator=(const OtherWindows&) = delete;

  private:
    PROCESS_INFORMATION process_ = {};
};

// What a window should show, the oracle of the picture tests and the call fuzzer: the converted
// frame drawn by a bare StretchDIBits over the whole client area, through a device context taken
// afresh, as the manual says the plugin draws (unmirrored, a monochrome stretching mode made
// COLORONCOLOR for the drawing). Returns what StretchDIBits returned.
int bare_stretch(HWND window, const uint32_t* converted, int32_t width, int32_t height);
// Paints the client area, over the children too, in a colour that no test frame has, then lets the
// children paint themselves again: after a draw, what it left shows in that colour, and what it
// painted over a child stays.
constexpr uint32_t NOT_DRAWN_COLOUR = 0x00C0FFEE;
void clear_client(HWND window);
// Controls over a window's client area, as hosts have them: a button and an edit box, at `x`.
void add_controls(HWND window, int x = 8);

// Palette colour n of the tests: 64 distinct colours.
uint32_t test_colour(int32_t n);
void set_test_palette(const Plugin& plugin);

#include <gtest/gtest.h>

#include "platform_spy.h"

// Each test gets the plugin freshly loaded, so its state starts at zero, with the spy in place.
class PluginTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(plugin.load()) << "cannot load " << plugin_path();
        install_spy(plugin.module);
    }
    void TearDown() override { plugin.unload(); }

    Plugin plugin;
};
