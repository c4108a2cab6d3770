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
    HANDLE heap;  // the heap whose block the buffer starts, where one could be found
    uint64_t blockSize;
    const void* stack; // the stack the buffer lies on, where it lies on the calling thread's
    bool wasWindow;    // the handle named a window at VideoInit
    bool hasDC;
    bool hasBitmap;
    bool mirrored;
    bool everShown; // the window was visible at a frame
    HDC dc;         // the device context the plugin took last
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
bool detached;                    // DLL_PROCESS_DETACH has come

unsigned long address(const void* pointer) {
    return static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(pointer));
}

bool readable(DWORD protection) {
    if (protection & (PAGE_GUARD | PAGE_NOACCESS))
        return false;
    return (protection & (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                          PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
}

// Whether the page at `address` is there and can be read: a heap's first page, before a look into
// the heap reads it.
bool page_readable(const void* address) {
    MEMORY_BASIC_INFORMATION page;
    return VirtualQuery(address, &page, sizeof(page)) && page.State == MEM_COMMIT && readable(page.Protect);
}

// How many bytes from `start` on can be read, counted up to `wanted`; in `more`, whether any
// memory after the first that cannot be read can be, before `wanted`: a hole, not an end.
uint64_t readable_bytes(const uint8_t* start, uint64_t wanted, bool* more = nullptr) {
    uint64_t found = 0;
    UINT_PTR at = reinterpret_cast<UINT_PTR>(start);
    bool readableAfter = false;
    for (bool ended = false; found < wanted;) {
        MEMORY_BASIC_INFORMATION region;
        if (!VirtualQuery(reinterpret_cast<const void*>(at), &region, sizeof(region)))
            break;
        const bool usable = region.State == MEM_COMMIT && readable(region.Protect);
        const UINT_PTR end = reinterpret_cast<UINT_PTR>(region.BaseAddress) + region.RegionSize;
        if (!ended && !usable)
            ended = true;
        if (!ended)
            found += end - at;
        else if (usable) {
            readableAfter = true;
            break;
        }
        if (!more && ended)
            break;
        if (end == 0 || static_cast<uint64_t>(end - reinterpret_cast<UINT_PTR>(start)) >= wanted)
            break; // the top of the address space, or past what is wanted
        at = end;
    }
    if (more)
        *more = readableAfter;
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

// The heap block that starts at `buffer` (as malloc and new give a buffer), found without walking
// or locking any heap, nor the list of heaps: the region VirtualQuery gives names its allocation's
// base, a heap's handle is the base of its first segment, and HeapValidate and HeapSize look at
// that one block, unlocked, so that a thread holding a heap's lock cannot hold up the host; they
// take a base that is no heap's for none. False where no such block is found: a block of a later
// segment, a large one with memory of its own, a buffer inside a block, memory of no heap.
bool heap_block(const uint8_t* buffer, HANDLE& heap, uint64_t& size) {
    MEMORY_BASIC_INFORMATION region;
    if (!VirtualQuery(buffer, &region, sizeof(region)) || region.State != MEM_COMMIT ||
        region.Type != MEM_PRIVATE)
        return false;
    const auto* base = static_cast<const uint8_t*>(region.AllocationBase);
    if (buffer - base < 16 || // a block's header lies before it, in the same allocation
        !page_readable(base) || !HeapValidate(region.AllocationBase, HEAP_NO_SERIALIZE, buffer))
        return false;
    const SIZE_T bytes = HeapSize(region.AllocationBase, HEAP_NO_SERIALIZE, buffer);
    if (bytes == static_cast<SIZE_T>(-1))
        return false;
    heap = region.AllocationBase;
    size = bytes;
    return true;
}

// The base of the calling thread's stack (NT_TIB's), and whether `address` lies on it.
// GCC 12 takes mingw's inline read of the thread's block for an array read out of bounds.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
const void* thread_stack() { return reinterpret_cast<NT_TIB*>(NtCurrentTeb())->StackBase; }
#pragma GCC diagnostic pop

bool on_this_threads_stack(const void* address) {
    MEMORY_BASIC_INFORMATION region, own;
    const int local = 0;
    return VirtualQuery(address, &region, sizeof(region)) && VirtualQuery(&local, &own, sizeof(own)) &&
           region.AllocationBase == own.AllocationBase;
}

// Whether `address` lies on a thread's stack: its allocation holds the guard page below which the
// stack grows.
bool on_a_stack(const void* address) {
    MEMORY_BASIC_INFORMATION region;
    if (!VirtualQuery(address, &region, sizeof(region)) || region.State != MEM_COMMIT)
        return false;
    const void* allocation = region.AllocationBase;
    for (auto at = static_cast<const uint8_t*>(allocation);
         VirtualQuery(at, &region, sizeof(region)) && region.AllocationBase == allocation;
         at = static_cast<const uint8_t*>(region.BaseAddress) + region.RegionSize)
        if (region.State == MEM_COMMIT && (region.Protect & PAGE_GUARD))
            return true;
    return false;
}

// Numbers the way the lines show them: byte counts whole, in 64 bits; thread IDs in hex, as Wine's
// debug output and WinDbg show them, and in decimal, as Visual Studio does.
struct Text {
    char text[32];
    explicit Text(uint64_t value) {
        char digits[24];
        int length = 0;
        do
            digits[length++] = static_cast<char>('0' + value % 10);
        while (value /= 10);
        for (int i = 0; i < length; ++i)
            text[i] = digits[length - 1 - i];
        text[length] = 0;
    }
    Text(DWORD thread, bool) { wsprintfA(text, "0x%lX (%lu)", thread, thread); }
};

Text thread_text(DWORD thread) { return Text(thread, true); }

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
        char module[MAX_PATH];
        const DWORD type = GetObjectType(window);
        if (type == OBJ_DC || type == OBJ_MEMDC || type == OBJ_METADC || type == OBJ_ENHMETADC)
            say_problem(PROBLEM_DC_AS_WINDOW, address(window));
        else if (GetModuleFileNameA(reinterpret_cast<HMODULE>(window), module, MAX_PATH))
            say_problem(PROBLEM_MODULE_AS_WINDOW, address(window), module);
        else
            say_problem(PROBLEM_NO_WINDOW, address(window));
        return;
    }
    char parentClass[16] = "";
    HWND parent = GetAncestor(window, GA_PARENT);
    if (parent && GetClassNameA(parent, parentClass, sizeof(parentClass)) &&
        !lstrcmpA(parentClass, "Message"))
        say_problem(PROBLEM_MESSAGE_ONLY, address(window));
    DWORD process = 0;
    const DWORD thread = GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId())
        say_problem(PROBLEM_WINDOW_PROCESS, address(window), process);
    else if (thread != GetCurrentThreadId())
        say_problem(PROBLEM_WINDOW_THREAD, address(window), thread_text(thread).text,
                    thread_text(GetCurrentThreadId()).text);
}

// Returns the rows of the frame that lie in the buffer: in its heap block where one is found, else
// in the memory that can be read. Notes the block, or the stack it lies on, for the frames.
int32_t check_frame_buffer(const uint8_t* frameBuffer, int32_t width, int32_t height) {
    display.heap = nullptr;
    display.stack = nullptr;
    if (!frameBuffer) {
        say_problem(PROBLEM_NULL_FRAME);
        return height;
    }
    if (!readable_bytes(frameBuffer, 1)) {
        say_problem(PROBLEM_NOTHING_READABLE, address(frameBuffer));
        return 0;
    }
    if (!frame_size_valid(width, height))
        return height;
    const uint64_t wanted = frame_bytes(width, height);
    if (on_this_threads_stack(frameBuffer)) {
        display.stack = thread_stack();
        const auto toTop = static_cast<uint64_t>(static_cast<const uint8_t*>(display.stack) - frameBuffer);
        if (toTop < wanted) {
            say_problem(PROBLEM_PAST_STACK, address(frameBuffer), Text(toTop).text, width, height,
                        Text(wanted).text);
            return rows_within(toTop, width, height);
        }
    } else if (on_a_stack(frameBuffer)) {
        say_problem(PROBLEM_OTHER_STACK, address(frameBuffer));
    }
    HANDLE heap;
    uint64_t blockSize;
    if (heap_block(frameBuffer, heap, blockSize)) {
        display.heap = heap;
        display.blockSize = blockSize;
        const int32_t rows = rows_within(blockSize, width, height);
        if (rows < height && height != width && height <= FRAME_PITCH &&
            frame_bytes(height, width) <= blockSize)
            say_problem(PROBLEM_SWAPPED, address(frameBuffer), Text(blockSize).text, width, height, height,
                        width);
        else if (rows < height)
            say_problem(PROBLEM_SHORT_BLOCK, address(frameBuffer), Text(blockSize).text, width, height,
                        Text(wanted).text, rows, height, columns_read(width), Text(wanted).text);
        return rows;
    }
    bool hole = false;
    const uint64_t readable = readable_bytes(frameBuffer, wanted, &hole);
    const int32_t rows = rows_within(readable, width, height);
    if (rows < height && hole)
        say_problem(PROBLEM_HOLE, address(frameBuffer), Text(readable).text, rows, Text(wanted).text);
    else if (rows < height)
        say_problem(PROBLEM_SHORT_FRAME, address(frameBuffer), rows, height, height, columns_read(width),
                    Text(wanted).text);
    return rows;
}

// At a frame: the heap block found at VideoInit freed or moved, a block of another size in its
// place, or the buffer in a stack frame that has returned (below the stack pointer of VideoBlit's
// caller). A heap destroyed since is freed memory too, which is not looked into.
void check_buffer_lifetime(const void* callersStack) {
    const uint8_t* buffer = display.frameBuffer;
    const SIZE_T size =
        display.heap && page_readable(display.heap) && HeapValidate(display.heap, HEAP_NO_SERIALIZE, buffer)
            ? HeapSize(display.heap, HEAP_NO_SERIALIZE, buffer)
            : static_cast<SIZE_T>(-1);
    if (display.heap && size == static_cast<SIZE_T>(-1))
        say_problem(PROBLEM_BLOCK_GONE, address(buffer), Text(display.blockSize).text);
    else if (display.heap && size != display.blockSize)
        say_problem(PROBLEM_BLOCK_RESIZED, address(buffer), Text(display.blockSize).text, Text(size).text);
    if (display.stack && display.stack == thread_stack() && buffer < callersStack)
        say_problem(PROBLEM_STACK_GONE, address(buffer));
}

void check_thread(Problem problem) {
    if (GetCurrentThreadId() != display.thread)
        say_problem(problem, thread_text(GetCurrentThreadId()).text, thread_text(display.thread).text);
}

// The window's own handle has gone: a short form of it may already name a newer window.
bool window_gone() { return display.wasWindow && !IsWindow(display.named); }

// What keeps a frame from being seen, or puts it where the host may not want it, as the window is
// now: not shown since VideoInit, no inside, layered with nothing to show, its own DC moving or
// scaling the picture, children painted over.
// Looked at the first frame and every 64th after (about a second apart at 60 frames a second):
// each look asks the system a dozen things, several times a frame's own cost under Wine.
void check_window_at_frame() {
    constexpr unsigned long EVERY = 64;
    HWND window = display.named;
    if (display.frames % EVERY || !display.window || !IsWindow(window))
        return;
    display.everShown = display.everShown || IsWindowVisible(window);
    if (!display.everShown && display.frames >= EVERY)
        say_problem(PROBLEM_NOT_SHOWN, address(display.window), display.frames);
    RECT client = {0, 0, 0, 0};
    GetClientRect(window, &client);
    if ((client.right <= 0 || client.bottom <= 0) && !IsIconic(window))
        say_problem(PROBLEM_NO_INSIDE, address(display.window));
    BYTE alpha;
    DWORD flags;
    if ((GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_LAYERED) &&
        !GetLayeredWindowAttributes(window, nullptr, &alpha, &flags))
        say_problem(PROBLEM_LAYERED, address(display.window));
    const DWORD style = GetWindowLongA(window, GWL_STYLE);
    if (!(style & WS_CLIPCHILDREN))
        for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            if (IsWindowVisible(child)) {
                say_problem(PROBLEM_CHILDREN_UNCLIPPED, address(display.window));
                break;
            }
    const DWORD classStyle = GetClassLongA(window, GCL_STYLE);
    if (!display.dc || !(classStyle & (CS_OWNDC | CS_CLASSDC)))
        return;
    POINT viewportOrigin, windowOrigin;
    SIZE viewport, extent;
    GetViewportOrgEx(display.dc, &viewportOrigin);
    GetWindowOrgEx(display.dc, &windowOrigin);
    GetViewportExtEx(display.dc, &viewport);
    GetWindowExtEx(display.dc, &extent);
    const int mapping = GetMapMode(display.dc);
    const bool scaled = mapping != MM_TEXT && (viewport.cx * viewport.cx != extent.cx * extent.cx ||
                                               viewport.cy * viewport.cy != extent.cy * extent.cy);
    const bool moved = viewportOrigin.x || viewportOrigin.y || windowOrigin.x || windowOrigin.y;
    if (!scaled && !moved)
        return;
    static const char* const MAPPINGS[] = {
        "",         "MM_TEXT",      "MM_LOMETRIC",   "MM_HIMETRIC", "MM_LOENGLISH", "MM_HIENGLISH",
        "MM_TWIPS", "MM_ISOTROPIC", "MM_ANISOTROPIC"};
    char what[160];
    if (scaled)
        wsprintfA(what, "the mapping mode %s, viewport extent %ld x %ld to window extent %ld x %ld",
                  mapping >= 1 && mapping <= 8 ? MAPPINGS[mapping] : "of its own", viewport.cx, viewport.cy,
                  extent.cx, extent.cy);
    else
        wsprintfA(what, "the viewport origin (%ld, %ld) and the window origin (%ld, %ld)", viewportOrigin.x,
                  viewportOrigin.y, windowOrigin.x, windowOrigin.y);
    say_problem(PROBLEM_OWN_DC_MAPPING, address(display.window),
                classStyle & CS_OWNDC ? "CS_OWNDC" : "CS_CLASSDC", what, scaled ? "scaled" : "moved");
}

// A platform call that failed because the process has no GDI objects left: not even a brush can be
// made then.
bool out_of_gdi_objects() {
    HBRUSH probe = CreateSolidBrush(0);
    if (probe)
        DeleteObject(probe);
    return !probe;
}

void check_detached(const char* call) {
    if (detached)
        say_problem(PROBLEM_AFTER_DETACH, call);
}

void report_get_dc_failure() {
    if (!platform.getDCFailed || (display.window && !display.wasWindow))
        return;
    if (out_of_gdi_objects()) {
        say_problem(PROBLEM_OUT_OF_GDI_OBJECTS, platform.call, "GetDC");
        return;
    }
    char error[300];
    windows_error(platform.getDCError, error, sizeof(error));
    say_problem(PROBLEM_GET_DC, platform.call, address(display.window), error);
}

const char* device_context_kind() {
    if (!display.hasDC)
        return "no DC";
    if (!display.window)
        return "the screen's DC";
    const DWORD style = GetClassLongA(display.named, GCL_STYLE);
    if (style & CS_OWNDC)
        return "its own DC (CS_OWNDC)";
    if (style & CS_CLASSDC)
        return "its class's DC (CS_CLASSDC)";
    if (style & CS_PARENTDC)
        return "its parent's DC (CS_PARENTDC)";
    return "a common DC";
}

// A display that can draw nothing says so in place of "display open".
void say_opened() {
    RECT client = {0, 0, 0, 0};
    if (display.window)
        GetClientRect(display.named, &client);
    const bool draws = display.window && IsWindow(display.named) && display.hasDC && display.hasBitmap;
    char buffer[80] = "";
    if (display.heap)
        wsprintfA(buffer, " (a heap block of %s bytes)", Text(display.blockSize).text);
    else if (display.stack)
        lstrcpyA(buffer, " (on this thread's stack)");
    else if (display.frameBuffer && frame_size_valid(display.width, display.height))
        lstrcpyA(buffer, " (no heap block's start: only unreadable memory is noticed)");
    say("VideoInit: %s: %ld x %ld frames from 0x%08lX%s; window 0x%08lX, %ld x %ld inside, %s%s; %s; "
        "conversion %s",
        draws ? "display open"
              : "display open but it can draw nothing, every VideoBlit returns 0 (see above)",
        display.width, display.height, address(display.frameBuffer), buffer, address(display.window),
        client.right, client.bottom, device_context_kind(),
        display.mirrored ? " (mirrored: unmirrored for the picture)" : "",
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

// The host's last error as the release DLL leaves it: the checks' own calls leave no trace in it.
struct HostsLastError {
    DWORD value = GetLastError();
    // Around the plugin's own step: it starts from the host's value, and what it leaves is kept.
    void before_step() const { SetLastError(value); }
    void after_step() { value = GetLastError(); }
    ~HostsLastError() { SetLastError(value); }
};

// A platform call as the release DLL makes it, whose error the checks read: a call that sets no
// error leaves the one before it.
template <typename Call> auto watched_call(DWORD& error, Call call) {
    const DWORD before = GetLastError();
    SetLastError(0);
    const auto result = call();
    error = GetLastError();
    if (!error)
        SetLastError(before);
    return result;
}

HDC WINAPI checked_GetDC(HWND window) {
    DWORD error;
    HDC dc = watched_call(error, [&] { return GetDC(window); });
    platform.getDCFailed = !dc;
    platform.getDCError = dc ? 0 : error;
    platform.dc = dc;
    platform.layout = dc ? GetLayout(dc) : 0;
    if (dc)
        display.dc = dc;
    return dc;
}

HBITMAP WINAPI checked_CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits,
                                        HANDLE section, DWORD offset) {
    DWORD error;
    HBITMAP bitmap =
        watched_call(error, [&] { return CreateDIBSection(dc, info, usage, bits, section, offset); });
    platform.sectionFailed = !bitmap;
    platform.sectionError = bitmap ? 0 : error;
    return bitmap;
}

int WINAPI checked_StretchDIBits(HDC dc, int x, int y, int width, int height, int sourceX, int sourceY,
                                 int sourceWidth, int sourceHeight, const void* bits, const BITMAPINFO* info,
                                 UINT usage, DWORD rop) {
    DWORD error;
    const int result = watched_call(error, [&] {
        return StretchDIBits(dc, x, y, width, height, sourceX, sourceY, sourceWidth, sourceHeight, bits, info,
                             usage, rop);
    });
    platform.stretched = true;
    platform.stretchResult = result;
    platform.stretchError = result ? 0 : error;
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
    const DWORD error = GetLastError(); // the release's conversion touches none
    int32_t rows = readable_rows(frame, width, height);
    if (rows < display.rows)
        say_problem(PROBLEM_UNREADABLE_FRAME, address(frame), rows, height);
    if (rows > display.rows)
        rows = display.rows;
    frame_convert(kernel, frame, width, rows, palette, pixels);
    SetLastError(error);
}

extern "C" {

int32_t GDIVIDEO_CALL VideoInit(int32_t width, int32_t height, HWND window, int32_t reserved,
                                const uint8_t* frameBuffer) {
    HostsLastError error;
    check_detached("VideoInit");
    say_repeats("VideoInit: before this display");
    if (display.open)
        say_problem(PROBLEM_INIT_OPEN, address(display.window));
    else if (coloursWhileClosed)
        say_problem(PROBLEM_COLOURS_BEFORE, coloursWhileClosed, coloursWhileClosed == 1 ? " was" : "s were");
    coloursWhileClosed = 0;
    check_size(width, height);
    check_window(window);
    display.rows = check_frame_buffer(frameBuffer, width, height);
    display.wasWindow = window && IsWindow(window);

    platform = Platform();
    platform.call = "VideoInit";
    display.dc = nullptr;
    error.before_step();
    const int32_t result = checked_inner_VideoInit(width, height, window, reserved, frameBuffer);
    error.after_step();
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
    display.everShown = false;
    display.frames = 0;

    report_get_dc_failure();
    if (platform.sectionFailed && out_of_gdi_objects()) {
        say_problem(PROBLEM_OUT_OF_GDI_OBJECTS, "VideoInit", "CreateDIBSection");
    } else if (platform.sectionFailed) {
        char error[300];
        windows_error(platform.sectionError, error, sizeof(error));
        say_problem(PROBLEM_CREATE_SECTION, width, height, error);
    }
    say_opened();
    return result;
}

int32_t GDIVIDEO_CALL VideoSetPalette(int32_t index, int32_t red, int32_t green, int32_t blue) {
    HostsLastError error;
    check_detached("VideoSetPalette");
    const int32_t colour = checked_inner_VideoSetPalette(index, red, green, blue);
    error.after_step();
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
    HostsLastError error;
    check_detached("VideoBlit");
    if (!display.open) {
        say_problem(PROBLEM_BLIT_CLOSED);
        error.before_step();
        const int32_t result = checked_inner_VideoBlit();
        error.after_step();
        return result;
    }
    check_thread(PROBLEM_BLIT_THREAD);
    if (window_gone())
        say_problem(PROBLEM_WINDOW_GONE, address(display.window));
    else if (display.window && (!display.hasDC || !display.hasBitmap))
        say_problem(PROBLEM_NO_SURFACE, display.hasDC ? "no bitmap" : "no device context");
    // The caller's stack pointer: VideoBlit's frame lies just below it.
    check_buffer_lifetime(static_cast<const uint8_t*>(__builtin_frame_address(0)) + 2 * sizeof(void*));
    check_window_at_frame();

    platform = Platform();
    platform.call = "VideoBlit";
    error.before_step();
    const int32_t result = checked_inner_VideoBlit();
    error.after_step();
    report_get_dc_failure();
    if (result)
        ++display.frames;
    return result;
}

int32_t GDIVIDEO_CALL VideoShutdown() {
    HostsLastError error;
    check_detached("VideoShutdown");
    if (!display.open) {
        say_problem(PROBLEM_SHUTDOWN_CLOSED);
        error.before_step();
        const int32_t result = checked_inner_VideoShutdown();
        error.after_step();
        return result;
    }
    check_thread(PROBLEM_SHUTDOWN_THREAD);
    const bool windowGone = window_gone();
    if (windowGone && !said_in_span(PROBLEM_WINDOW_GONE))
        say_problem(PROBLEM_SHUTDOWN_WINDOW_GONE, address(display.window));
    platform = Platform();
    platform.call = "VideoShutdown";
    error.before_step();
    const int32_t result = checked_inner_VideoShutdown();
    error.after_step();
    report_get_dc_failure();
    display.open = false;
    say_closed(result, windowGone);
    return result;
}

// Unloading does nothing else: the plugin cannot release what another thread may be drawing with.
BOOL WINAPI CheckedDllEntry(HINSTANCE, DWORD reason, LPVOID processEnds) {
    if (reason != DLL_PROCESS_DETACH)
        return TRUE;
    detached = true;
    HostsLastError error;
    if (display.open)
        say_problem(processEnds ? PROBLEM_EXIT_OPEN : PROBLEM_UNLOADED_OPEN, address(display.window));
    say_repeats(processEnds ? "process exit: since the last VideoInit or VideoShutdown"
                            : "FreeLibrary: since the last VideoInit or VideoShutdown");
    return TRUE;
}
}
