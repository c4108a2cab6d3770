// The checked build's entry points: each checks what the host passed or did, says what is wrong,
// and runs the plugin's own step, whose results and picture it leaves as they are. The one
// exception is a frame buffer that ends before the frame does, where the plugin's step would
// fault: only the rows that can be read are converted.

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

// The rows of the frame whose bytes can all be read: row y needs its first min(width, 256) bytes.
int32_t readable_rows(const uint8_t* frame, int32_t width, int32_t height) {
    if (!frame || width <= 0 || height <= 0)
        return height;
    const uint64_t columns = static_cast<uint64_t>(columns_read(width));
    const uint64_t wanted = static_cast<uint64_t>(height - 1) * FRAME_PITCH + columns;
    const uint64_t found = readable_bytes(frame, wanted);
    if (found == wanted)
        return height;
    return found < columns ? 0 : static_cast<int32_t>((found - columns) / FRAME_PITCH + 1);
}

bool component_outside(int32_t component) { return component < 0 || component > 255; }

void check_size(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0)
        say_problem(
            PROBLEM_SIZE,
            "VideoInit: the frame size %ld x %ld has a width or height of zero or less: no bitmap is "
            "made, VideoInit returns 1 and every VideoBlit returns 0 without drawing; pass the frame's "
            "width and height, each at least 1",
            width, height);
    else if (!frame_size_valid(width, height))
        say_problem(
            PROBLEM_TOO_LARGE,
            "VideoInit: a %ld x %ld frame is too large for the bitmap, whose 4 bytes a pixel must fit "
            "2,147,483,647 (at most 536,870,911 pixels): no bitmap is made, VideoInit returns 1 and "
            "every VideoBlit returns 0 without drawing; pass a smaller frame",
            width, height);
    if (width > FRAME_PITCH)
        say_problem(
            PROBLEM_WIDTH,
            "VideoInit: the width %ld is above 256, the most a row holds (the frame buffer's rows are "
            "256 bytes apart): the picture shows the first 256 columns and black beyond; pass a width of "
            "at most 256",
            width);
}

void check_window(HWND window) {
    if (!window) {
        say_problem(PROBLEM_NULL_WINDOW,
                    "VideoInit: the window is null: the plugin takes the screen's device context but never "
                    "draws on the screen, so every VideoBlit returns 0; pass the handle that CreateWindow "
                    "returned for your window");
        return;
    }
    if (!IsWindow(window)) {
        say_problem(
            PROBLEM_NO_WINDOW,
            "VideoInit: 0x%08lX names no window (destroyed, or not a window handle): VideoInit returns "
            "1, every VideoBlit returns 0 without drawing; pass the handle that CreateWindow returned, "
            "while the window exists",
            address(window));
        return;
    }
    DWORD process = 0;
    const DWORD thread = GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId())
        say_problem(
            PROBLEM_WINDOW_THREAD,
            "VideoInit: window 0x%08lX belongs to another process (%lu): the plugin draws into it all the "
            "same; open the display on a window of your own process",
            address(window), process);
    else if (thread != GetCurrentThreadId())
        say_problem(
            PROBLEM_WINDOW_THREAD,
            "VideoInit: window 0x%08lX belongs to thread %lu, not to this thread (%lu): the plugin draws "
            "from here, and a frame that meets the window thread's own drawing is dropped; make every "
            "call from the window's thread and hand frames over to it (see the kit's threaded_host.c)",
            address(window), thread, GetCurrentThreadId());
}

void check_frame_buffer(const uint8_t* frameBuffer, int32_t width, int32_t height) {
    if (!frameBuffer) {
        say_problem(
            PROBLEM_NULL_FRAME,
            "VideoInit: the frame buffer is null: nothing is converted and the window shows black, while "
            "VideoBlit returns the line count; pass a buffer of (height - 1) x 256 + min(width, 256) "
            "bytes that stays valid until VideoShutdown");
        return;
    }
    if (!frame_size_valid(width, height))
        return;
    const int32_t rows = readable_rows(frameBuffer, width, height);
    if (rows < height) {
        say_problem(
            PROBLEM_SHORT_FRAME,
            "VideoInit: the frame buffer at 0x%08lX ends before the frame does: only %ld of its %ld "
            "rows can be read; the checked build converts those and leaves the rest black (the release "
            "build faults); pass a buffer of (%ld - 1) x 256 + %ld bytes that stays valid until "
            "VideoShutdown",
            address(frameBuffer), rows, height, height, columns_read(width));
    }
}

void check_thread(const char* call) {
    if (GetCurrentThreadId() != display.thread)
        say_problem(
            PROBLEM_CALL_THREAD,
            "%s: called from thread %lu, but the display was opened on thread %lu: both draw through one "
            "device context, and a drawing call that meets another fails, dropping the frame; make every "
            "call from the thread that called VideoInit and hand frames over to it (see the kit's "
            "threaded_host.c)",
            call, GetCurrentThreadId(), display.thread);
}

// The window's own handle has gone: a short form of it may already name a newer window.
bool window_gone() { return display.window && !IsWindow(display.named); }

void report_get_dc_failure() {
    if (!platform.getDCFailed || problem_came(PROBLEM_NO_WINDOW))
        return;
    char error[300];
    windows_error(platform.getDCError, error, sizeof(error));
    say_problem(
        PROBLEM_GET_DC,
        "%s: GetDC for window 0x%08lX failed (%s): nothing is drawn and VideoBlit returns 0; check that "
        "the window exists and belongs to the thread that makes the calls",
        platform.call, address(display.window), error);
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

void say_opened() {
    RECT client = {0, 0, 0, 0};
    if (display.window)
        GetClientRect(display.named, &client);
    say("VideoInit: display open: %ld x %ld frames read from 0x%08lX, window 0x%08lX (client area %ld x %ld) "
        "through %s%s, %s; conversion %s",
        display.width, display.height, address(display.frameBuffer), address(display.window), client.right,
        client.bottom, device_context_kind(),
        display.mirrored ? " (mirrored: right-to-left, unmirrored for the picture)" : "",
        display.hasBitmap ? "a 32-bit bitmap of the frame's size" : "no bitmap", frame_kernel_best().name);
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
        say_problem(
            PROBLEM_STRETCH,
            "VideoBlit: StretchDIBits into window 0x%08lX failed (%s): nothing is drawn and VideoBlit "
            "returns 0; draw from the window's thread only, and leave its device context usable",
            address(display.window), error);
    }
    return result;
}

void checked_frame_convert(const FrameKernel& kernel, const uint8_t* frame, int32_t width, int32_t height,
                           const PaletteTable& palette, uint32_t* pixels) {
    const int32_t rows = readable_rows(frame, width, height);
    if (rows < height)
        say_problem(
            PROBLEM_UNREADABLE_FRAME,
            "VideoBlit: the frame buffer at 0x%08lX can no longer be read where the frame reads it: only "
            "%ld of its %ld rows; the checked build converts those and leaves the rest of the picture as "
            "it was (the release build faults); keep the buffer valid and unmoved until VideoShutdown",
            address(frame), rows, height);
    frame_convert(kernel, frame, width, rows, palette, pixels);
}

extern "C" {

int32_t GDIVIDEO_CALL VideoInit(int32_t width, int32_t height, HWND window, int32_t reserved,
                                const uint8_t* frameBuffer) {
    char line[1025];
    lstrcpyA(line, "VideoInit: before this display");
    const int prefix = lstrlenA(line);
    end_span(line, sizeof(line));
    if (lstrlenA(line) > prefix)
        say("%s", line);
    if (display.open) {
        say_problem(
            PROBLEM_INIT_OPEN,
            "VideoInit: a display is already open on window 0x%08lX (VideoShutdown was not called): the "
            "plugin closes it first, then opens this one, and returns 1; call VideoShutdown before "
            "VideoInit when the frame size, the window or the buffer changes",
            address(display.window));
    }
    check_size(width, height);
    check_window(window);
    check_frame_buffer(frameBuffer, width, height);

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
        say_problem(
            PROBLEM_CREATE_SECTION,
            "VideoInit: CreateDIBSection for a %ld x %ld bitmap failed (%s): VideoInit returns 1, every "
            "VideoBlit returns 0 without drawing; free memory, or pass a smaller frame",
            width, height, error);
    }
    say_opened();
    return result;
}

int32_t GDIVIDEO_CALL VideoSetPalette(int32_t index, int32_t red, int32_t green, int32_t blue) {
    const int32_t colour = checked_inner_VideoSetPalette(index, red, green, blue);
    if (index < 0 || index >= PALETTE_COLOURS)
        say_problem(
            PROBLEM_INDEX,
            "VideoSetPalette: index %ld is outside 0 to 63: nothing is stored, and the packed colour "
            "0x%06lX is returned all the same; pass an index from 0 to 63 (a pixel value shows the colour "
            "of its low six bits)",
            index, colour);
    if (component_outside(red) || component_outside(green) || component_outside(blue))
        say_problem(
            PROBLEM_COMPONENT,
            "VideoSetPalette: colour %ld has a component outside 0 to 255 (red %ld, green %ld, blue %ld): "
            "the plugin keeps the low 8 bits of each and returns 0x%06lX; pass each component from 0 to "
            "255",
            index, red, green, blue, colour);
    return colour;
}

int32_t GDIVIDEO_CALL VideoBlit() {
    if (!display.open) {
        say_problem(
            PROBLEM_BLIT_CLOSED,
            "VideoBlit: no display is open (no VideoInit yet, or VideoShutdown has closed it): nothing is "
            "drawn and VideoBlit returns 0; call VideoInit first, and no VideoBlit after VideoShutdown");
        return checked_inner_VideoBlit();
    }
    check_thread("VideoBlit");
    if (window_gone() && !problem_came(PROBLEM_NO_WINDOW))
        say_problem(PROBLEM_WINDOW_GONE,
                    "VideoBlit: window 0x%08lX was destroyed while the display is open: nothing is drawn and "
                    "VideoBlit returns 0 (VideoShutdown will too); call VideoShutdown before DestroyWindow",
                    address(display.window));
    else if (display.window && (!display.hasDC || !display.hasBitmap))
        say_problem(
            PROBLEM_NO_SURFACE,
            "VideoBlit: the display has %s (VideoInit said why): nothing is drawn and VideoBlit returns "
            "0; mend what VideoInit reported",
            display.hasDC ? "no bitmap" : "no device context");

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
        say_problem(
            PROBLEM_SHUTDOWN_CLOSED,
            "VideoShutdown: no display is open (no VideoInit yet, or VideoShutdown has closed it "
            "already): nothing is released and VideoShutdown returns 0; call VideoShutdown once for each "
            "VideoInit");
        return checked_inner_VideoShutdown();
    }
    check_thread("VideoShutdown");
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
    if (reason == DLL_PROCESS_DETACH && !processEnds && display.open)
        say("FreeLibrary: the module is unloaded with a display still open on window 0x%08lX (VideoShutdown "
            "was not called): its device context and bitmap stay held for as long as the process lives; call "
            "VideoShutdown before FreeLibrary",
            address(display.window));
    return TRUE;
}
}
