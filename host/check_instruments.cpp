#include "check_instruments.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>

#include "host_window.h"
#include "import_table.h"
#include "test_card.h"

Watched watched;

namespace {

HDC took(HDC dc) {
    if (dc) {
        ++watched.taken;
        watched.held.push_back(dc);
    }
    return dc;
}
HDC WINAPI watched_GetDC(HWND window) { return took(GetDC(window)); }
HDC WINAPI watched_GetDCEx(HWND window, HRGN region, DWORD flags) {
    return took(GetDCEx(window, region, flags));
}
HDC WINAPI watched_GetWindowDC(HWND window) { return took(GetWindowDC(window)); }
int WINAPI watched_ReleaseDC(HWND window, HDC dc) {
    const int released = ReleaseDC(window, dc);
    auto found = std::find(watched.held.begin(), watched.held.end(), dc);
    if (released && found != watched.held.end()) {
        ++watched.givenBack;
        watched.held.erase(found);
    }
    return released;
}

// Bitmaps, memory DCs, brushes, pens, regions and palettes: what a plugin may make to draw.
template <typename Handle> Handle made(Handle object) {
    if (object) {
        ++watched.made;
        watched.kept.push_back(object);
    }
    return object;
}
HBITMAP WINAPI watched_CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits,
                                        HANDLE section, DWORD offset) {
    return made(CreateDIBSection(dc, info, usage, bits, section, offset));
}
HBITMAP WINAPI watched_CreateBitmap(int width, int height, UINT planes, UINT bits, const void* data) {
    return made(CreateBitmap(width, height, planes, bits, data));
}
HBITMAP WINAPI watched_CreateCompatibleBitmap(HDC dc, int width, int height) {
    return made(CreateCompatibleBitmap(dc, width, height));
}
HBITMAP WINAPI watched_CreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                                      const BITMAPINFO* info, UINT usage) {
    return made(CreateDIBitmap(dc, header, init, bits, info, usage));
}
HDC WINAPI watched_CreateCompatibleDC(HDC dc) { return made(CreateCompatibleDC(dc)); }
HBRUSH WINAPI watched_CreateSolidBrush(COLORREF colour) { return made(CreateSolidBrush(colour)); }
HBRUSH WINAPI watched_CreateBrushIndirect(const LOGBRUSH* brush) { return made(CreateBrushIndirect(brush)); }
HPEN WINAPI watched_CreatePen(int style, int width, COLORREF colour) {
    return made(CreatePen(style, width, colour));
}
HRGN WINAPI watched_CreateRectRgn(int left, int top, int right, int bottom) {
    return made(CreateRectRgn(left, top, right, bottom));
}
HPALETTE WINAPI watched_CreatePalette(const LOGPALETTE* palette) { return made(CreatePalette(palette)); }
BOOL gone(HGDIOBJ object, BOOL deleted) {
    auto found = std::find(watched.kept.begin(), watched.kept.end(), object);
    if (deleted && found != watched.kept.end()) {
        ++watched.deleted;
        watched.kept.erase(found);
    }
    return deleted;
}
BOOL WINAPI watched_DeleteObject(HGDIOBJ object) { return gone(object, DeleteObject(object)); }
BOOL WINAPI watched_DeleteDC(HDC dc) { return gone(dc, DeleteDC(dc)); }

struct Region {
    uintptr_t begin, end, guardEnd;
    int width, height;
};
Region regions[16];

std::map<HWND, std::function<void()>> painters;

LRESULT CALLBACK check_window_procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND)
        return 1; // keep what the plugin drew
    const auto painter = painters.find(window);
    if (message == WM_PAINT && painter != painters.end()) {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        painter->second();
        EndPaint(window, &paint);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

double milliseconds(const std::function<void()>& call) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    call();
    QueryPerformanceCounter(&end);
    return static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

} // namespace

Frame::Frame(int32_t width, int32_t height)
    : width_(width), height_(height), bytes_(static_cast<size_t>(height - 1) * 256 + std::min(width, 256)) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const size_t page = system.dwPageSize;
    readable_ = (bytes_ + page - 1) / page * page;
    base_ = static_cast<uint8_t*>(
        VirtualAlloc(nullptr, readable_ + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD previous;
    VirtualProtect(base_ + readable_, page, PAGE_NOACCESS, &previous);
    data_ = base_ + readable_ - bytes_;
    for (Region& region : regions)
        if (!region.begin) {
            region = {reinterpret_cast<uintptr_t>(data_), reinterpret_cast<uintptr_t>(data_ + bytes_),
                      reinterpret_cast<uintptr_t>(base_ + readable_ + page), width, height};
            break;
        }
}

Frame::~Frame() {
    for (Region& region : regions)
        if (region.begin == reinterpret_cast<uintptr_t>(data_))
            region = {};
    VirtualFree(base_, 0, MEM_RELEASE);
}

void Frame::draw(const std::function<void(uint8_t* buffer)>& paint) {
    DWORD previous;
    VirtualProtect(base_, readable_, PAGE_READWRITE, &previous);
    paint(data_);
    VirtualProtect(base_, readable_, PAGE_READONLY, &previous);
}

void describe_fault_address(uintptr_t address, bool write, char* text, size_t size) {
    text[0] = 0;
    for (const Region& region : regions) {
        if (!region.begin)
            continue;
        if (write && address >= region.begin && address < region.end)
            std::snprintf(text, size,
                          "; it wrote into the program's frame buffer, which a plugin may only read");
        else if (address >= region.end && address < region.guardEnd)
            std::snprintf(
                text, size,
                "; it read past the end of the program's frame buffer: a %d x %d frame has %d rows 256 "
                "bytes apart, of which it reads the first %d bytes",
                region.width, region.height, region.height, std::min(region.width, 256));
    }
}

// The test card's still frame, and a frame image of it with the card's colours.
void draw_card(uint8_t* buffer) {
    card::draw(buffer);
    card::draw_moving(buffer, 0);
}

Palette card_palette() {
    Palette palette;
    for (int n = 0; n < 64; ++n)
        palette.colours[n] = card::colour(n, 0);
    return palette;
}

FrameImage image(const Frame& frame, const Palette& palette) {
    FrameImage result{frame.width(), frame.height(), frame.data(), {}};
    std::memcpy(result.palette, palette.colours, sizeof(result.palette));
    return result;
}

CheckWindow::CheckWindow(int width, int height, DWORD extendedStyle, UINT classStyle, int x, int y,
                         DWORD style) {
    const std::string name = register_window_class("gdivideo self-check", classStyle, check_window_procedure);
    // Where the system is still setting itself up (the first program of a new Wine prefix), a window
    // may not be had at once.
    for (int tries = 0; !handle_ && tries < 50; ++tries) {
        handle_ = CreateWindowExA(extendedStyle | WS_EX_TOPMOST | WS_EX_TOOLWINDOW, name.c_str(),
                                  "gdivideo self-check", style, x, y, width, height, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
        if (!handle_)
            Sleep(100);
    }
    if (!handle_)
        throw std::runtime_error("no window could be made (Windows error " + std::to_string(GetLastError()) +
                                 ")");
    ShowWindow(handle_, SW_SHOWNOACTIVATE);
    resize_client(handle_, width, height);
    pump_messages();
}

void CheckWindow::clear() const {
    HDC dc = GetDCEx(handle_, nullptr, DCX_CACHE);
    SetLayout(dc, 0);
    RECT client;
    GetClientRect(handle_, &client);
    HBRUSH brush = CreateSolidBrush(RGB(NOT_DRAWN >> 16, NOT_DRAWN >> 8 & 0xFF, NOT_DRAWN & 0xFF));
    FillRect(dc, &client, brush);
    DeleteObject(brush);
    ReleaseDC(handle_, dc);
}

Shown CheckWindow::read() const {
    Shown shown;
    shown.pixels = read_client_pixels(handle_, shown.width, shown.height);
    return shown;
}

void CheckWindow::paint_with(std::function<void()> paint) const { painters[handle_] = std::move(paint); }

void CheckWindow::destroy() {
    painters.erase(handle_);
    if (handle_)
        DestroyWindow(handle_);
    handle_ = nullptr;
    pump_messages();
}

void watch_plugin_imports(HMODULE plugin) {
    replace_import(plugin, "GetDC", reinterpret_cast<void*>(watched_GetDC));
    replace_import(plugin, "GetDCEx", reinterpret_cast<void*>(watched_GetDCEx));
    replace_import(plugin, "GetWindowDC", reinterpret_cast<void*>(watched_GetWindowDC));
    replace_import(plugin, "ReleaseDC", reinterpret_cast<void*>(watched_ReleaseDC));
    replace_import(plugin, "CreateDIBSection", reinterpret_cast<void*>(watched_CreateDIBSection));
    replace_import(plugin, "CreateBitmap", reinterpret_cast<void*>(watched_CreateBitmap));
    replace_import(plugin, "CreateCompatibleBitmap", reinterpret_cast<void*>(watched_CreateCompatibleBitmap));
    replace_import(plugin, "CreateDIBitmap", reinterpret_cast<void*>(watched_CreateDIBitmap));
    replace_import(plugin, "CreateCompatibleDC", reinterpret_cast<void*>(watched_CreateCompatibleDC));
    replace_import(plugin, "CreateSolidBrush", reinterpret_cast<void*>(watched_CreateSolidBrush));
    replace_import(plugin, "CreateBrushIndirect", reinterpret_cast<void*>(watched_CreateBrushIndirect));
    replace_import(plugin, "CreatePen", reinterpret_cast<void*>(watched_CreatePen));
    replace_import(plugin, "CreateRectRgn", reinterpret_cast<void*>(watched_CreateRectRgn));
    replace_import(plugin, "CreatePalette", reinterpret_cast<void*>(watched_CreatePalette));
    replace_import(plugin, "DeleteObject", reinterpret_cast<void*>(watched_DeleteObject));
    replace_import(plugin, "DeleteDC", reinterpret_cast<void*>(watched_DeleteDC));
}

double median_milliseconds(int runs, const std::function<void()>& call) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i)
        times.push_back(milliseconds(call));
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

std::string figure(double value) {
    char text[32];
    std::snprintf(text, sizeof(text), value < 10 ? "%.2f" : "%.1f", value);
    return text;
}
