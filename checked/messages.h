// Every problem the checked build can report: the line it says the first time (a wsprintf format,
// after "gdivideo: "), and what the closing count calls it when it came again. The manual lists
// these lines, and a test holds the list to this table.
#pragma once

enum Problem {
    PROBLEM_BLIT_CLOSED,
    PROBLEM_SHUTDOWN_CLOSED,
    PROBLEM_INIT_OPEN,
    PROBLEM_UNLOADED_OPEN,
    PROBLEM_EXIT_OPEN,
    PROBLEM_COLOURS_BEFORE,
    PROBLEM_SIZE,
    PROBLEM_TOO_LARGE,
    PROBLEM_WIDTH,
    PROBLEM_NULL_WINDOW,
    PROBLEM_NO_WINDOW,
    PROBLEM_DC_AS_WINDOW,
    PROBLEM_MODULE_AS_WINDOW,
    PROBLEM_WINDOW_PROCESS,
    PROBLEM_WINDOW_THREAD,
    PROBLEM_NULL_FRAME,
    PROBLEM_SHORT_BLOCK,
    PROBLEM_SHORT_FRAME,
    PROBLEM_SWAPPED,
    PROBLEM_HOLE,
    PROBLEM_INDEX,
    PROBLEM_COMPONENT,
    PROBLEM_PALETTE_THREAD,
    PROBLEM_BLIT_THREAD,
    PROBLEM_SHUTDOWN_THREAD,
    PROBLEM_WINDOW_GONE,
    PROBLEM_SHUTDOWN_WINDOW_GONE,
    PROBLEM_NO_SURFACE,
    PROBLEM_GET_DC,
    PROBLEM_CREATE_SECTION,
    PROBLEM_STRETCH,
    PROBLEM_UNREADABLE_FRAME,
    PROBLEM_BLOCK_GONE,
    PROBLEM_BLOCK_RESIZED,
    PROBLEM_STACK_GONE,
    PROBLEM_NOTHING_READABLE,
    PROBLEM_PAST_STACK,
    PROBLEM_OTHER_STACK,
    PROBLEM_MESSAGE_ONLY,
    PROBLEM_LAYERED,
    PROBLEM_NOT_SHOWN,
    PROBLEM_NO_INSIDE,
    PROBLEM_OWN_DC_MAPPING,
    PROBLEM_CHILDREN_UNCLIPPED,
    PROBLEM_OUT_OF_GDI_OBJECTS,
    PROBLEM_AFTER_DETACH,
    PROBLEM_KINDS
};

struct Message {
    const char* text;
    const char* label;
};

constexpr Message MESSAGES[PROBLEM_KINDS] = {
    {"VideoBlit: no display is open (no VideoInit yet, or VideoShutdown has closed it): nothing is drawn and "
     "VideoBlit returns 0; call VideoInit first, and no VideoBlit after VideoShutdown",
     "VideoBlit with no display open"},
    {"VideoShutdown: no display is open (no VideoInit yet, or VideoShutdown has closed it already): nothing "
     "is released and VideoShutdown returns 0; call VideoShutdown once for each VideoInit",
     "VideoShutdown with no display open"},
    {"VideoInit: a display is already open on window 0x%08lX (VideoShutdown was not called): the plugin "
     "closes it first, then opens this one, and returns 1; call VideoShutdown before VideoInit when the "
     "frame size, the window or the buffer changes",
     "VideoInit on an open display"},
    {"FreeLibrary: the module is unloaded with a display still open on window 0x%08lX (VideoShutdown was not "
     "called): its device context and bitmap stay held for as long as the process lives; call VideoShutdown "
     "before FreeLibrary",
     "unloaded with a display open"},
    {"process exit: the process ends with a display still open on window 0x%08lX (VideoShutdown was not "
     "called): the system frees its device context and bitmap with the process, but a frame drawn while "
     "the window is going away fails; call VideoShutdown before the host exits",
     "the process ending with a display open"},
    {"VideoInit: %lu colour%s set by VideoSetPalette with no display open: VideoInit starts every display "
     "with a black palette, so they are lost and the picture is black where they were meant to show; call "
     "VideoSetPalette after VideoInit",
     "colours set with no display open"},
    {"VideoInit: the frame size %ld x %ld has a width or height of zero or less: no bitmap is made, "
     "VideoInit "
     "returns 1 and every VideoBlit returns 0 without drawing; pass the frame's width and height, each at "
     "least 1",
     "a frame size of zero or less"},
    {"VideoInit: a %ld x %ld frame is too large for the bitmap, whose 4 bytes a pixel must fit 2,147,483,647 "
     "(at most 536,870,911 pixels): no bitmap is made, VideoInit returns 1 and every VideoBlit returns 0 "
     "without drawing; pass a smaller frame",
     "a frame too large for the bitmap"},
    {"VideoInit: the width %ld is above 256, the most a row holds (the frame buffer's rows are 256 bytes "
     "apart): the picture shows the first 256 columns and black beyond; pass a width of at most 256",
     "a width above 256"},
    {"VideoInit: the window is null: the plugin takes the screen's device context but never draws on the "
     "screen, so every VideoBlit returns 0; pass the handle that CreateWindow returned for your window",
     "a null window"},
    {"VideoInit: 0x%08lX names no window (one destroyed, or no window handle): VideoInit returns 1, every "
     "VideoBlit returns 0 without drawing; pass the handle that CreateWindow returned, while the window "
     "exists",
     "a handle that names no window"},
    {"VideoInit: 0x%08lX is a device context, not a window: every VideoBlit returns 0 without drawing; pass "
     "the window's handle (the one CreateWindow returned), not what GetDC returned for it",
     "a device context passed as the window"},
    {"VideoInit: 0x%08lX is a module (an HINSTANCE: %s), not a window: every VideoBlit returns 0 without "
     "drawing; pass the handle that CreateWindow returned, not the instance",
     "a module passed as the window"},
    {"VideoInit: window 0x%08lX belongs to another process (%lu): the plugin draws into it all the same; "
     "open "
     "the display on a window of your own process",
     "a window of another process"},
    {"VideoInit: window 0x%08lX belongs to thread %s, not to this thread, %s: the plugin draws from here, "
     "and a frame that meets the window thread's own drawing is dropped; make every call from the window's "
     "thread and hand frames over to it (see the kit's threaded_host.c)",
     "a window of another thread"},
    {"VideoInit: the frame buffer is null: nothing is converted and the window shows black, while VideoBlit "
     "returns the line count; pass a buffer of (height - 1) x 256 + min(width, 256) bytes that stays valid "
     "until VideoShutdown",
     "a null frame buffer"},
    {"VideoInit: the frame buffer at 0x%08lX is too short: it is a heap block of %s bytes, but a %ld x %ld "
     "frame reads %s bytes, its rows 256 bytes apart; the checked "
     "build converts only the %ld rows inside it and leaves the rest black; allocate (height - 1) x 256 + "
     "min(width, 256) bytes: (%ld - 1) x 256 + %ld = %s",
     "a frame buffer shorter than the frame"},
    {"VideoInit: the frame buffer at 0x%08lX is too short: the memory after it cannot be read from row %ld "
     "of its %ld on, so the release build faults at the first VideoBlit; the checked build converts the "
     "rows that can be read and leaves the rest black; allocate (height - 1) x 256 + min(width, 256) bytes: "
     "(%ld - 1) x 256 + %ld = %s",
     "a frame buffer that ends before the frame"},
    {"VideoInit: the frame buffer at 0x%08lX holds %s bytes, too few for a %ld x %ld frame, but enough for a "
     "%ld x %ld one: the width and the height may be swapped; VideoInit takes the width first",
     "the width and the height swapped"},
    {"VideoInit: a page of the frame buffer at 0x%08lX cannot be read, %s bytes from its start (row %ld), "
     "though the frame reads on to %s bytes: the release build faults there at the first VideoBlit, and the "
     "checked build converts the rows before it; leave every page of the buffer readable (no PAGE_GUARD or "
     "PAGE_NOACCESS)",
     "a page of the frame buffer that cannot be read"},
    {"VideoSetPalette: index %ld is outside 0 to 63: nothing is stored, and the packed colour 0x%06lX is "
     "returned all the same; pass an index from 0 to 63 (a pixel value shows the colour of its low six bits)",
     "a palette index outside 0 to 63"},
    {"VideoSetPalette: colour %ld has a component outside 0 to 255 (red %ld, green %ld, blue %ld): the "
     "plugin keeps the low 8 bits of each and returns 0x%06lX; pass each component from 0 to 255",
     "a colour component outside 0 to 255"},
    {"VideoSetPalette: called from thread %s, but the display was opened on thread %s: a colour set while "
     "the other thread converts a frame may show in part of that frame only; make every call from the "
     "thread that called VideoInit",
     "VideoSetPalette from another thread"},
    {"VideoBlit: called from thread %s, but the display was opened on thread %s: both draw through one "
     "device context, and a drawing call that meets another fails, dropping the frame; make every call from "
     "the thread that called VideoInit and hand frames over to it (see the kit's threaded_host.c)",
     "VideoBlit from another thread"},
    {"VideoShutdown: called from thread %s, but the display was opened on thread %s: the device context is "
     "given back from a thread that did not take it, which Windows does not allow for a common one, and "
     "that thread may still be drawing with it; call VideoShutdown from the thread that called VideoInit",
     "VideoShutdown from another thread"},
    {"VideoBlit: window 0x%08lX was destroyed while the display is open: nothing is drawn and VideoBlit "
     "returns 0 (VideoShutdown will too); call VideoShutdown before DestroyWindow",
     "the window destroyed"},
    {"VideoShutdown: window 0x%08lX was destroyed before VideoShutdown: its device context went back to the "
     "system with it, so nothing is released and VideoShutdown returns 0; call VideoShutdown before "
     "DestroyWindow",
     "the window destroyed before VideoShutdown"},
    {"VideoBlit: the display has %s (VideoInit said why): nothing is drawn and VideoBlit returns 0; mend "
     "what "
     "VideoInit reported",
     "no device context or bitmap"},
    {"%s: GetDC for window 0x%08lX failed (%s): nothing is drawn and VideoBlit returns 0; check that the "
     "window exists and belongs to the thread that makes the calls",
     "GetDC failing"},
    {"VideoInit: CreateDIBSection for a %ld x %ld bitmap failed (%s): VideoInit returns 1, every VideoBlit "
     "returns 0 without drawing; free memory, or pass a smaller frame",
     "CreateDIBSection failing"},
    {"VideoBlit: StretchDIBits into window 0x%08lX failed (%s): nothing is drawn and VideoBlit returns 0; "
     "draw from the window's thread only, and leave its device context usable",
     "StretchDIBits failing"},
    {"VideoBlit: the frame buffer at 0x%08lX can no longer be read where the frame reads it: only %ld of its "
     "%ld rows, fewer than at VideoInit (freed or shrunk since); the checked build converts those and leaves "
     "the rest of the picture as it was (the release build faults); keep the buffer valid and unmoved until "
     "VideoShutdown",
     "the frame buffer freed at a frame"},
    {"VideoBlit: the frame buffer at 0x%08lX, a heap block of %s bytes at VideoInit, was freed or moved "
     "since "
     "VideoInit (as when a std::vector grows): the plugin reads whatever lies there now; keep the buffer "
     "valid and unmoved until VideoShutdown",
     "the frame buffer freed or moved"},
    {"VideoBlit: the frame buffer at 0x%08lX, a heap block of %s bytes at VideoInit, is one of %s bytes now: "
     "freed and its place taken by another block, or resized in place (harmless only where the program "
     "resized it); keep the buffer valid and unmoved until VideoShutdown",
     "the frame buffer's block resized or taken"},
    {"VideoBlit: the frame buffer at 0x%08lX lies on this thread's stack below its stack pointer, in the "
     "frame "
     "of a function that has returned: the plugin reads whatever lies there now; keep the buffer in memory "
     "that lives until VideoShutdown (a global, the heap, or a frame that is still running)",
     "the frame buffer out of scope"},
    {"VideoInit: the frame buffer at 0x%08lX cannot be read at all (a pointer never set, or one to memory "
     "freed since: debug heaps fill such pointers with 0xCDCDCDCD or 0xFEEEFEEE): the release build faults "
     "at the first VideoBlit, the checked build converts nothing; pass the address of a buffer of (height - "
     "1) x 256 + min(width, 256) bytes",
     "a frame buffer that cannot be read at all"},
    {"VideoInit: the frame buffer at 0x%08lX lies on this thread's stack, %s bytes below its top, but a %ld "
     "x %ld frame reads %s bytes: it runs past the stack into whatever lies beyond; pass the buffer itself, "
     "not the address of the variable that points to it (&frame for frame)",
     "a frame buffer that runs past the stack"},
    {"VideoInit: the frame buffer at 0x%08lX lies on the stack of another thread: it is gone once that "
     "thread's function returns or the thread ends, and the frames then read whatever lies there; keep the "
     "buffer in memory that lives until VideoShutdown (a global, or the heap)",
     "a frame buffer on another thread's stack"},
    {"VideoInit: window 0x%08lX is a message-only window (its parent is HWND_MESSAGE): it is never shown, "
     "so nothing of the picture can be seen; open the display on a window that is shown",
     "a message-only window"},
    {"VideoBlit: window 0x%08lX is layered (WS_EX_LAYERED) but has no attributes: the system shows nothing "
     "of a layered window until SetLayeredWindowAttributes or UpdateLayeredWindow is called for it; call "
     "SetLayeredWindowAttributes(window, 0, 255, LWA_ALPHA), or leave WS_EX_LAYERED off",
     "a layered window that shows nothing"},
    {"VideoBlit: window 0x%08lX has not been shown in the %lu frames since VideoInit (WS_VISIBLE is not "
     "set): every frame is drawn where nobody sees it; call ShowWindow for the window",
     "a window never shown"},
    {"VideoBlit: window 0x%08lX has no inside (its client area is 0 x 0) though it is not minimised: "
     "nothing of the frame can show; give the window a size (the size CreateWindow takes is the outer one, "
     "border included)",
     "a window with no inside"},
    {"VideoBlit: window 0x%08lX draws through a device context of its own (%s) that has %s: the plugin "
     "draws the picture through it as you set it, so the picture is %s; set MM_TEXT and the origins (0, 0) "
     "on that device context before the frames, unless that is what you meant",
     "an own device context moving or scaling the picture"},
    {"VideoBlit: window 0x%08lX has child windows (controls) over the picture but not WS_CLIPCHILDREN: "
     "every frame paints over them; give the window WS_CLIPCHILDREN, or show the picture in a child window "
     "of its own",
     "child windows painted over"},
    {"%s: %s failed and not even a brush can be made: the process has used up its GDI objects (Windows "
     "allows 10,000), so the display cannot be made; the host, or a library in it, makes GDI objects and "
     "never deletes them: find which (Task Manager's GDI objects column counts them)",
     "the process out of GDI objects"},
    {"%s: called after the plugin's own DLL_PROCESS_DETACH (from another DLL's DllMain as the process ends, "
     "say): the plugin does what it can, but the system may have freed what it held; close the display "
     "before the process ends, not from DllMain",
     "calls after the plugin was detached"},
};
