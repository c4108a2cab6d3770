// The checked build's entry points: each checks what the host passed or did, says what is wrong,
// and runs the plugin's own step, whose results and picture it leaves as they are. The one
// exception is a frame buffer that ends before the frame does, where the plugin's step would read
// past it or fault: only the rows inside it are converted.

#include "../include/gdivideo.h"

#include "../core/frame.h"
#include "report.h"

extern "C" {
int32_t GDIVIDEO_CALL checked_inner_VideoInit(int32_t width, int32_t height, HWND window, int32_t reserved,
                                              const uint8_t* frameBuffer);
int32_t GDIVIDEO_CALL checked_inner_VideoSetPalette(int32_t index, int32_t red, int32_t green, int32_t blue);
int32_t GDIVIDEO_CALL checked_inner_VideoBlit();
int32_t GDIVIDEO_CALL checked_inner_VideoShutdown();
}

namespace {

// The display as the checks see it, from the arguments of VideoInit and the platform's answers.
struct Display {
    bool open;
    int32_t width;
    int32_t height;
    HWND window;  // as the host passed it
    HWND named;   // as its device context names it: the full handle of the window
    DWORD thread; // that opened the display
    const uint8_t* frameBuffer;
    int32_t rows; // of the frame inside the buffer at VideoInit: all that is ever converted
    bool hasDC;
    bool hasBitmap;
    bool mirrored;
    unsigned long frames;
};

// What the plugin's platform calls answered in the entry point now running.
struct Platform {
    const char* call;
    bool getDCFailed;
    DWORD getDCError;
    HDC dc;
    DWORD layout;
    bool sectionFailed;
    DWORD sectionError;
    bool stretched;
    int stretchResult;
    DWORD stretchError;
};

Display display;
Platform platform;
unsigned long coloursWhileClosed; // set by VideoSetPalette since the last display closed

unsigned long address(const void* pointer) {
    return static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(pointer));
}

bool readable(DWORD protection) {
    if (protection & (PAGE_GUARD | PAGE_NOACCESS))
        return false;
    return (protection & (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                          PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
}

// How many bytes from `start` on can be read, counted up to `wanted`.
uint64_t readable_bytes(const uint8_t* start, uint64_t wanted) {
    uint64_t found = 0;
    UINT_PTR at = reinterpret_cast<UINT_PTR>(start);
    while (found < wanted) {
        MEMORY_BASIC_INFORMATION region;
        if (!VirtualQuery(reinterpret_cast<const void*>(at), &region, sizeof(region)) ||
            region.State != MEM_COMMIT || !readable(region.Protect))
            break;
        const UINT_PTR end = reinterpret_cast<UINT_PTR>(region.BaseAddress) + region.RegionSize;
        found += end - at;
        if (end == 0) // the top of the address space
            break;
        at = end;
    }
    return found < wanted ? found : wanted;
}

int32_t columns_read(int32_t width) { return width < FRAME_PITCH ? width : FRAME_PITCH; }

// The bytes the frame reads from its first.
uint64_t frame_bytes(int32_t width, int32_t height) {
    return static_cast<uint64_t>(height - 1) * FRAME_PITCH + static_cast<uint64_t>(columns_read(width));
}

// The rows of the frame whose bytes all lie in the first `bytes` from its start: row y needs its
// first min(width, 256) bytes.
int32_t rows_within(uint64_t bytes, int32_t width, int32_t height) {
    const uint64_t columns = static_cast<uint64_t>(columns_read(width));
    if (bytes >= frame_bytes(width, height))
        return height;
    return bytes < columns ? 0 : static_cast<int32_t>((bytes - columns) / FRAME_PITCH + 1);
}

// The rows of the frame that can be read now.
int32_t readable_rows(const uint8_t* frame, int32_t width, int32_t height) {
    if (!frame || width <= 0 || height <= 0)
        return height;
    return rows_within(readable_bytes(frame, frame_bytes(width, height)), width, height);
}

// The block of a heap of this process that holds `address`, found by walking each heap (a C
// runtime's malloc takes its blocks from one); false where no heap holds it.
bool heap_block(const uint8_t* address, const uint8_t*& start, uint64_t& size) {
    HANDLE heaps[64];
    DWORD count = GetProcessHeaps(64, heaps);
    if (count > 64)
        count = 64;
    bool found = false;
    for (DWORD i = 0; i < count && !found; ++i) {
        if (!HeapLock(heaps[i]))
            continue;
        PROCESS_HEAP_ENTRY entry;
        entry.lpData = nullptr;
        while (!found && HeapWalk(heaps[i], &entry)) {
            const uint8_t* data = static_cast<const uint8_t*>(entry.lpData);
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) && address >= data && address < data + entry.cbData) {
                start = data;
                size = entry.cbData;
                found = true;
            }
        }
        HeapUnlock(heaps[i]);
    }
    return found;
}

bool component_outside(int32_t component) { return component < 0 || component > 255; }

void check_size(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0)
        say_valued_problem(PROBLEM_SIZE, width <= 0 ? width : height, width, height);
    else if (!frame_size_valid(width, height))
        say_problem(PROBLEM_TOO_LARGE, width, height);
    if (width > FRAME_PITCH)
        say_valued_problem(PROBLEM_WIDTH, width, width);
}

void check_window(HWND window) {
    if (!window) {
        say_problem(PROBLEM_NULL_WINDOW);
        return;
    }
    if (!IsWindow(window)) {
        say_problem(PROBLEM_NO_WINDOW, address(window));
        return;
    }
    DWORD process = 0;
    const DWORD thread = GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId())
        say_problem(PROBLEM_WINDOW_PROCESS, address(window), process);
    else if (thread != GetCurrentThreadId())
        say_problem(PROBLEM_WINDOW_THREAD, address(window), thread, GetCurrentThreadId());
}

// Returns the rows of the frame that lie in the buffer: in its heap block where a heap holds it,
// else in the memory that can be read.
int32_t check_frame_buffer(const uint8_t* frameBuffer, int32_t width, int32_t height) {
    if (!frameBuffer) {
        say_problem(PROBLEM_NULL_FRAME);
        return height;
    }
    if (!frame_size_valid(width, height))
        return height;
    const unsigned long wanted = static_cast<unsigned long>(frame_bytes(width, height));
    const uint8_t* block;
    uint64_t blockSize;
    if (heap_block(frameBuffer, block, blockSize)) {
        const uint64_t inside = blockSize - static_cast<uint64_t>(frameBuffer - block);
        const int32_t rows = rows_within(inside, width, height);
        if (rows < height)
            say_problem(PROBLEM_SHORT_BLOCK, address(frameBuffer), static_cast<unsigned long>(blockSize),
                        static_cast<unsigned long>(inside), width, height, wanted, rows, height,
                        columns_read(width), wanted);
        return rows;
    }
    const int32_t rows = readable_rows(frameBuffer, width, height);
    if (rows < height)
        say_problem(PROBLEM_SHORT_FRAME, address(frameBuffer), rows, height, height, columns_read(width), wanted);
    return rows;
}

void check_thread(Problem problem) {
    if (GetCurrentThreadId() != display.thread)
        say_problem(problem, GetCurrentThreadId(), display.thread);
}

// The window's own handle has gone: a short form of it may already name a newer window.
bool window_gone() { return display.window && !IsWindow(display.named); }

void report_get_dc_failure() {
    if (!platform.getDCFailed || problem_came(PROBLEM_NO_WINDOW))
        return;
    char error[300];
    windows_error(platform.getDCError, error, sizeof(error));
    say_problem(PROBLEM_GET_DC, platform.call, address(display.window), error);
}

const char* device_context_kind() {
    if (!display.hasDC)
        return "no device context";
    if (!display.window)
        return "the screen's device context";
    const DWORD style = GetClassLongA(display.named, GCL_STYLE);
    if (style & CS_OWNDC)
        return "its own device context (CS_OWNDC)";
    if (style & CS_CLASSDC)
        return "its class's device context (CS_CLASSDC)";
    if (style & CS_PARENTDC)
        return "its parent's device context (CS_PARENTDC)";
    return "a common device context";
}

// A display that can draw nothing says so in place of "display open".
void say_opened() {
    RECT client = {0, 0, 0, 0};
    if (display.window)
        GetClientRect(display.named, &client);
    const bool draws = display.window && IsWindow(display.named) && display.hasDC && display.hasBitmap;
    say("VideoInit: %s: %ld x %ld frames read from 0x%08lX, window 0x%08lX (client area %ld x %ld) "
        "through %s%s, %s; conversion %s",
        draws ? "display open" : "display open but it can draw nothing, every VideoBlit returns 0 (see above)",
        display.width, display.height, address(display.frameBuffer), address(display.window), client.right,
        client.bottom, device_context_kind(),
        display.mirrored ? " (mirrored: right-to-left, unmirrored for the picture)" : "",
        display.hasBitmap ? "a 32-bit bitmap of the frame's size" : "no bitmap", frame_kernel_best().name);
}

// Says what repeated since the span began, where anything did: at VideoInit of what came since
// the last VideoShutdown, as the module unloads or the process ends of what came since then.
void say_repeats(const char* when) {
    char line[1025];
    lstrcpyA(line, when);
    if (end_span(line, sizeof(line)))
        say("%s", line);
}

void say_closed(int32_t result, bool windowGone) {
    char line[1025];
    const int length = wsprintfA(line, "VideoShutdown: display closed after %lu frame%s: ", display.frames,
                                 display.frames == 1 ? "" : "s");
    char* rest = line + length;
    const char* bitmap = display.hasBitmap ? "bitmap deleted" : "no bitmap to delete";
    if (windowGone)
        wsprintfA(
            rest,
            "%s; window 0x%08lX no longer exists, so there is no device context to release (VideoShutdown "
            "returns 0)",
            bitmap, address(display.window));
    else if (display.hasDC)
        wsprintfA(rest, "%s, device context released (ReleaseDC returned %ld)", bitmap, result);
    else
        wsprintfA(rest, "%s, no device context to release", bitmap);
    end_span(line, sizeof(line));
    say("%s", line);
}

} // namespace

HDC WINAPI checked_GetDC(HWND window) {
    SetLastError(0);
    HDC dc = GetDC(window);
    platform.getDCFailed = !dc;
    platform.getDCError = dc ? 0 : GetLastError();
    platform.dc = dc;
    platform.layout = dc ? GetLayout(dc) : 0;
    return dc;
}

HBITMAP WINAPI checked_CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits,
                                        HANDLE section, DWORD offset) {
    SetLastError(0);
    HBITMAP bitmap = CreateDIBSection(dc, info, usage, bits, section, offset);
    platform.sectionFailed = !bitmap;
    platform.sectionError = bitmap ? 0 : GetLastError();
    return bitmap;
}

int WINAPI checked_StretchDIBits(HDC dc, int x, int y, int width, int height, int sourceX, int sourceY,
                                 int sourceWidth, int sourceHeight, const void* bits, const BITMAPINFO* info,
                                 UINT usage, DWORD rop) {
    SetLastError(0);
    const int result = StretchDIBits(dc, x, y, width, height, sourceX, sourceY, sourceWidth, sourceHeight,
                                     bits, info, usage, rop);
    platform.stretched = true;
    platform.stretchResult = result;
    platform.stretchError = result ? 0 : GetLastError();
    // Nothing to copy into an empty client area (a minimised window): Windows may return 0 then.
    if (!result && width > 0 && height > 0) {
        char error[300];
        windows_error(platform.stretchError, error, sizeof(error));
        say_problem(PROBLEM_STRETCH, address(display.window), error);
    }
    return result;
}

void checked_frame_convert(const FrameKernel& kernel, const uint8_t* frame, int32_t width, int32_t height,
                           const PaletteTable& palette, uint32_t* pixels) {
    int32_t rows = readable_rows(frame, width, height);
    if (rows < display.rows)
        say_problem(PROBLEM_UNREADABLE_FRAME, address(frame), rows, height);
    if (rows > display.rows)
        rows = display.rows;
    frame_convert(kernel, frame, width, rows, palette, pixels);
}

extern "C" {

int32_t GDIVIDEO_CALL VideoInit(int32_t width, int32_t height, HWND window, int32_t reserved,
                                const uint8_t* frameBuffer) {
    say_repeats("VideoInit: before this display");
    if (display.open)
        say_problem(PROBLEM_INIT_OPEN, address(display.window));
    else if (coloursWhileClosed)
        say_problem(PROBLEM_COLOURS_BEFORE, coloursWhileClosed, coloursWhileClosed == 1 ? " was" : "s were");
    coloursWhileClosed = 0;
    check_size(width, height);
    check_window(window);
    display.rows = check_frame_buffer(frameBuffer, width, height);

    platform = Platform();
    platform.call = "VideoInit";
    const int32_t result = checked_inner_VideoInit(width, height, window, reserved, frameBuffer);
    display.open = true;
    display.width = width;
    display.height = height;
    display.window = window;
    display.named = platform.dc && window ? WindowFromDC(platform.dc) : window;
    if (!display.named)
        display.named = window;
    display.thread = GetCurrentThreadId();
    display.frameBuffer = frameBuffer;
    display.hasDC = platform.dc != nullptr;
    display.hasBitmap = frame_size_valid(width, height) && !platform.sectionFailed;
    display.mirrored = (platform.layout & LAYOUT_RTL) != 0;
    display.frames = 0;

    report_get_dc_failure();
    if (platform.sectionFailed) {
        char error[300];
        windows_error(platform.sectionError, error, sizeof(error));
        say_problem(PROBLEM_CREATE_SECTION, width, height, error);
    }
    say_opened();
    return result;
}

int32_t GDIVIDEO_CALL VideoSetPalette(int32_t index, int32_t red, int32_t green, int32_t blue) {
    const int32_t colour = checked_inner_VideoSetPalette(index, red, green, blue);
    if (display.open)
        check_thread(PROBLEM_PALETTE_THREAD);
    else
        ++coloursWhileClosed;
    if (index < 0 || index >= PALETTE_COLOURS)
        say_valued_problem(PROBLEM_INDEX, index, index, colour);
    const int32_t outside = component_outside(red) ? red : component_outside(green) ? green : blue;
    if (component_outside(outside))
        say_valued_problem(PROBLEM_COMPONENT, outside, index, red, green, blue, colour);
    return colour;
}

int32_t GDIVIDEO_CALL VideoBlit() {
    if (!display.open) {
        say_problem(PROBLEM_BLIT_CLOSED);
        return checked_inner_VideoBlit();
    }
    check_thread(PROBLEM_BLIT_THREAD);
    if (window_gone() && !problem_came(PROBLEM_NO_WINDOW))
        say_problem(PROBLEM_WINDOW_GONE, address(display.window));
    else if (display.window && (!display.hasDC || !display.hasBitmap))
        say_problem(PROBLEM_NO_SURFACE, display.hasDC ? "no bitmap" : "no device context");

    platform = Platform();
    platform.call = "VideoBlit";
    const int32_t result = checked_inner_VideoBlit();
    report_get_dc_failure();
    if (result)
        ++display.frames;
    return result;
}

int32_t GDIVIDEO_CALL VideoShutdown() {
    if (!display.open) {
        say_problem(PROBLEM_SHUTDOWN_CLOSED);
        return checked_inner_VideoShutdown();
    }
    check_thread(PROBLEM_SHUTDOWN_THREAD);
    const bool windowGone = window_gone();
    platform = Platform();
    platform.call = "VideoShutdown";
    const int32_t result = checked_inner_VideoShutdown();
    report_get_dc_failure();
    display.open = false;
    say_closed(result, windowGone);
    return result;
}

// Unloading does nothing else: the plugin cannot release what another thread may be drawing with.
BOOL WINAPI CheckedDllEntry(HINSTANCE, DWORD reason, LPVOID processEnds) {
    if (reason != DLL_PROCESS_DETACH)
        return TRUE;
    if (display.open)
        say_problem(processEnds ? PROBLEM_EXIT_OPEN : PROBLEM_UNLOADED_OPEN, address(display.window));
    say_repeats(processEnds ? "process exit: since the last VideoInit or VideoShutdown"
                            : "FreeLibrary: since the last VideoInit or VideoShutdown");
    return TRUE;
}
}
