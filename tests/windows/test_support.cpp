#include "test_support.h"

#include "../../host/host_window.h"

#include <cstdlib>
#include <stdexcept>

LRESULT CALLBACK test_window_procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1; // keep what the plugin drew
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self && self->paint_)
            self->paint_();
        EndPaint(window, &paint);
        return 0;
    }
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

DWORD scaled(DWORD milliseconds) {
    char value[16] = "";
    const DWORD length = GetEnvironmentVariableA("GDIVIDEO_TIME_SCALE", value, sizeof(value));
    const long scale = length && length < sizeof(value) ? std::strtol(value, nullptr, 10) : 1;
    return milliseconds * static_cast<DWORD>(scale > 1 ? scale : 1);
}

std::string plugin_path() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string directory(path, length);
    return directory.substr(0, directory.find_last_of("\\/") + 1) + "gdivideo.dll";
}

std::string checked_plugin_path() {
    const std::string path = plugin_path();
    return path.substr(0, path.find_last_of("\\/") + 1) + "checked\\gdivideo.dll";
}

bool Plugin::load(const std::string& path) {
    std::string error;
    return load_plugin(path, *this, error);
}

void Plugin::unload() {
    if (module)
        FreeLibrary(module);
    *this = Plugin();
}

TestWindow::TestWindow(int clientWidth, int clientHeight, DWORD extendedStyle, UINT classStyle) {
    window_ = CreateWindowExA(
        extendedStyle,
        register_window_class("gdivideo test window", classStyle, test_window_procedure).c_str(),
        "gdivideo test", WS_POPUP, 40, 40, clientWidth, clientHeight, nullptr, nullptr,
        GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ShowWindow(window_, SW_SHOWNORMAL);
    resize_client(clientWidth, clientHeight);
}

TestWindow::~TestWindow() { destroy(); }

void TestWindow::destroy() {
    if (!window_)
        return;
    DestroyWindow(window_);
    window_ = nullptr;
    pump_messages();
}

void TestWindow::resize_client(int clientWidth, int clientHeight) {
    ::resize_client(window_, clientWidth, clientHeight);
}

void TestWindow::minimise() {
    ShowWindow(window_, SW_MINIMIZE);
    pump_messages();
}

std::vector<uint32_t> TestWindow::read_client(int* width, int* height) const {
    int w = 0, h = 0;
    std::vector<uint32_t> pixels = read_client_pixels(window_, w, h);
    if (width)
        *width = w;
    if (height)
        *height = h;
    return pixels;
}

OtherWindows::OtherWindows() {
    const std::string pid = std::to_string(GetCurrentProcessId()), path = plugin_path();
    std::string command = "\"" + path.substr(0, path.find_last_of("\\/") + 1) + "other_windows.exe\" " + pid;
    HANDLE started = CreateEventA(nullptr, TRUE, FALSE, ("other windows " + pid).c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    if (!started || !CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                    &startup, &process_))
        throw std::runtime_error("cannot start " + command);
    const HANDLE either[] = {started, process_.hProcess};
    const DWORD woken = WaitForMultipleObjects(2, either, FALSE, scaled(60000));
    CloseHandle(started);
    if (woken != WAIT_OBJECT_0)
        throw std::runtime_error(command + " did not start its windows");
}

OtherWindows::~OtherWindows() {
    TerminateProcess(process_.hProcess, 0);
    WaitForSingleObject(process_.hProcess, INFINITE);
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
}

int bare_stretch(HWND window, const uint32_t* converted, int32_t width, int32_t height) {
    RECT client = {};
    GetClientRect(window, &client);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC dc = GetDC(window);
    const DWORD layout = GetLayout(dc);
    const int mapping = GetMapMode(dc), mode = GetStretchBltMode(dc);
    SetLayout(dc, 0);
    if (mode == BLACKONWHITE || mode == WHITEONBLACK)
        SetStretchBltMode(dc, COLORONCOLOR);
    const int lines = StretchDIBits(dc, 0, 0, client.right, client.bottom, 0, 0, width, height, converted,
                                    &info, DIB_RGB_COLORS, SRCCOPY);
    SetStretchBltMode(dc, mode);
    SetLayout(dc, layout);
    SetMapMode(dc, mapping);
    ReleaseDC(window, dc);
    return lines;
}

void clear_client(HWND window) {
    HDC dc = GetDCEx(window, nullptr, DCX_CACHE);
    SetLayout(dc, 0);
    HBRUSH brush =
        CreateSolidBrush(RGB(NOT_DRAWN_COLOUR >> 16, NOT_DRAWN_COLOUR >> 8 & 0xFF, NOT_DRAWN_COLOUR & 0xFF));
    RECT client = {};
    GetClientRect(window, &client);
    FillRect(dc, &client, brush);
    DeleteObject(brush);
    ReleaseDC(window, dc);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    pump_messages();
}

void add_controls(HWND window, int x) {
    CreateWindowExA(0, "BUTTON", "Pause", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, x, 8, 72, 24, window,
                    nullptr, GetModuleHandleA(nullptr), nullptr);
    CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "speed", WS_CHILD | WS_VISIBLE, x, 40, 96, 24, window, nullptr,
                    GetModuleHandleA(nullptr), nullptr);
    pump_messages();
}

uint32_t test_colour(int32_t n) {
    const uint32_t red = (n * 4) & 0xFF, green = (255 - n * 3) & 0xFF, blue = (n * 37 + 11) & 0xFF;
    return red << 16 | green << 8 | blue;
}

void set_test_palette(const Plugin& plugin) {
    for (int32_t n = 0; n < GDIVIDEO_PALETTE_COLOURS; ++n) {
        const uint32_t colour = test_colour(n);
        plugin.setPalette(n, colour >> 16, (colour >> 8) & 0xFF, colour & 0xFF);
    }
}
