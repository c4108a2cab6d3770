#include "host_window.h"

namespace {

const char* const WINDOW_CLASS = "gdivideo host";
bool closed = false;
int32_t(__cdecl* repaint)() = nullptr;

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1;    // the plugin fills the whole client area at every frame
    case WM_PAINT: { // uncovered, resized or restored: show the last frame again
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        if (repaint)
            repaint();
        EndPaint(window, &paint);
        return 0;
    }
    case WM_CLOSE: // the host closes the display first, then destroys the window
        closed = true;
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

RECT outer_rect(int clientWidth, int clientHeight) {
    RECT outer = {0, 0, clientWidth, clientHeight};
    AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
    return outer;
}

} // namespace

std::string register_window_class(const std::string& prefix, UINT classStyle, WNDPROC procedure) {
    const std::string name = prefix + " " + std::to_string(classStyle);
    WNDCLASSA windowClass = {};
    if (GetClassInfoA(GetModuleHandleA(nullptr), name.c_str(), &windowClass))
        return name;
    windowClass.style = classStyle;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = name.c_str();
    RegisterClassA(&windowClass);
    return name;
}

bool window_fits_screen(int clientWidth, int clientHeight, std::string& error) {
    const RECT outer = outer_rect(clientWidth, clientHeight);
    const int width = outer.right - outer.left, height = outer.bottom - outer.top;
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    if (width <= screenWidth && height <= screenHeight)
        return true;
    error = "a " + std::to_string(clientWidth) + " x " + std::to_string(clientHeight) +
            " picture needs a window of " + std::to_string(width) + " x " + std::to_string(height) +
            ", larger than the screen (" + std::to_string(screenWidth) + " x " +
            std::to_string(screenHeight) + "): choose a smaller --scale";
    return false;
}

HWND create_host_window(int clientWidth, int clientHeight, int32_t(__cdecl* repaintWith)()) {
    repaint = repaintWith;
    WNDCLASSA windowClass = {};
    // Without these, a window that shrinks gets no WM_PAINT and keeps the picture of its old size.
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = window_procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    windowClass.lpszClassName = WINDOW_CLASS;
    RegisterClassA(&windowClass);

    const RECT outer = outer_rect(clientWidth, clientHeight);
    HWND window = CreateWindowExA(0, WINDOW_CLASS, "gdivideo test card", WS_OVERLAPPEDWINDOW, 32, 32,
                                  outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (!window)
        return nullptr;
    ShowWindow(window, SW_SHOWNORMAL);
    resize_client(window, clientWidth, clientHeight);
    return window;
}

void resize_client(HWND window, int clientWidth, int clientHeight) {
    // The frame's size is only known once the window is placed: correct until the client area is
    // the size asked for.
    RECT outer;
    GetWindowRect(window, &outer);
    int outerWidth = outer.right - outer.left, outerHeight = outer.bottom - outer.top;
    for (int attempt = 0; attempt < 4; ++attempt) {
        RECT client;
        GetClientRect(window, &client);
        if (client.right == clientWidth && client.bottom == clientHeight)
            return;
        outerWidth += clientWidth - client.right;
        outerHeight += clientHeight - client.bottom;
        SetWindowPos(window, nullptr, 0, 0, outerWidth, outerHeight, SWP_NOMOVE | SWP_NOZORDER);
        pump_messages();
    }
}

bool pump_messages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return !closed;
}

namespace {

// The pixels as they are on the screen, through a DC from the cache (in its default state even
// for a window with a DC of its own) with its layout cleared.
std::vector<uint32_t> read_pixels(HWND window, DWORD flags, int width, int height) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    if (pixels.empty())
        return pixels;
    HDC windowDC = GetDCEx(window, nullptr, DCX_CACHE | flags);
    SetLayout(windowDC, 0);
    HDC memoryDC = CreateCompatibleDC(windowDC);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memoryDC, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memoryDC, bitmap);
    BitBlt(memoryDC, 0, 0, width, height, windowDC, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* shown = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = shown[i] & 0x00FFFFFF;
    SelectObject(memoryDC, previous);
    DeleteObject(bitmap);
    DeleteDC(memoryDC);
    ReleaseDC(window, windowDC);
    return pixels;
}

} // namespace

std::vector<uint32_t> read_client_pixels(HWND window, int& width, int& height) {
    RECT client = {};
    GetClientRect(window, &client);
    width = client.right;
    height = client.bottom;
    return read_pixels(window, 0, width, height);
}

std::vector<uint32_t> read_window_pixels(HWND window, int& width, int& height) {
    RECT outer = {};
    GetWindowRect(window, &outer);
    width = outer.right - outer.left;
    height = outer.bottom - outer.top;
    return read_pixels(window, DCX_WINDOW, width, height);
}
