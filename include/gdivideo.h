/* gdivideo: a video output plugin that shows a host's frames of 8-bit palette indices in the
 * host's window through GDI. The manual for host authors, the kit's README.md, says what each
 * function does in every case, what the window and the frame buffer need and how to build a host;
 * each declaration below gives its function's contract in brief.
 *
 * The functions are cdecl (GDIVIDEO_CALL), exported undecorated by name and by the ordinals below.
 * Call them one at a time from the window's thread: VideoInit once, VideoSetPalette for each colour,
 * VideoBlit once per frame and from WM_PAINT, VideoShutdown once, before the window is destroyed
 * and before FreeLibrary.
 *
 * Copyright (C) 2026 the gdivideo authors; zlib licence (the kit's LICENSE).
 */
#ifndef GDIVIDEO_H
#define GDIVIDEO_H

/* (The project's own tests also build the sources for 64-bit Windows, on machines that cannot run
 * 32-bit programs; nothing of that build is shipped.) */
#if defined(_WIN64) && !defined(GDIVIDEO_64_BIT_TEST_BUILD)
#error "gdivideo.dll is a 32-bit DLL, which no 64-bit process can load: build the host for x86"
#endif

#include <stdint.h>
#include <windows.h>

/* The version, also in the DLL's version resource and the kit's CMake and pkg-config files. */
#define GDIVIDEO_VERSION_MAJOR 1
#define GDIVIDEO_VERSION_MINOR 0
#define GDIVIDEO_VERSION_PATCH 0
#define GDIVIDEO_VERSION_BUILD 0
#define GDIVIDEO_VERSION_TEXT                                                                                \
    GDIVIDEO_TEXT_(GDIVIDEO_VERSION_MAJOR, GDIVIDEO_VERSION_MINOR, GDIVIDEO_VERSION_PATCH,                   \
                   GDIVIDEO_VERSION_BUILD)
#define GDIVIDEO_TEXT_(major, minor, patch, build) GDIVIDEO_DIGITS_(major, minor, patch, build)
#define GDIVIDEO_DIGITS_(major, minor, patch, build) #major "." #minor "." #patch "." #build

#define GDIVIDEO_CALL __cdecl

#define GDIVIDEO_FRAME_PITCH 256
#define GDIVIDEO_PALETTE_COLOURS 64

#define GDIVIDEO_ORDINAL_APPLY_PALETTE 1
#define GDIVIDEO_ORDINAL_BLIT 2
#define GDIVIDEO_ORDINAL_CFG 3
#define GDIVIDEO_ORDINAL_FULLSCREEN 4
#define GDIVIDEO_ORDINAL_INIT 5
#define GDIVIDEO_ORDINAL_SET_PALETTE 6
#define GDIVIDEO_ORDINAL_SHUTDOWN 7

#ifdef __cplusplus
extern "C" {
#endif

/* Opens the display on `window` for frames of width x height pixels read from `frameBuffer`
 * (`height` rows of palette indices, GDIVIDEO_FRAME_PITCH bytes apart, the first min(width, 256) of
 * each read), and clears the palette to black. `reserved` is ignored. Returns 1. */
int32_t GDIVIDEO_CALL VideoInit(int32_t width, int32_t height, HWND window, int32_t reserved,
                                const uint8_t* frameBuffer);

/* Sets palette colour `index` (0..63) from the low 8 bits of each component, from the next
 * VideoBlit on. Returns the packed colour 0x00RRGGBB. */
int32_t GDIVIDEO_CALL VideoSetPalette(int32_t index, int32_t red, int32_t green, int32_t blue);

/* Nothing to do: colours take effect at once. Returns 1. */
int32_t GDIVIDEO_CALL VideoApplyPalette(void);

/* Converts the frame and stretches it over the window's whole client area. Returns what
 * StretchDIBits returned, or 0 when there is no display to draw on. */
int32_t GDIVIDEO_CALL VideoBlit(void);

/* Closes the display: deletes the bitmap and releases the window's device context. Returns what
 * ReleaseDC returned, or 0 when it released none. */
int32_t GDIVIDEO_CALL VideoShutdown(void);

/* No settings: returns 0. */
int32_t GDIVIDEO_CALL VideoCfg(void);

/* No full-screen mode: returns 0. */
int32_t GDIVIDEO_CALL VideoFullscreen(void);

typedef int32_t(GDIVIDEO_CALL* VideoInitProc)(int32_t, int32_t, HWND, int32_t, const uint8_t*);
typedef int32_t(GDIVIDEO_CALL* VideoSetPaletteProc)(int32_t, int32_t, int32_t, int32_t);
typedef int32_t(GDIVIDEO_CALL* VideoApplyPaletteProc)(void);
typedef int32_t(GDIVIDEO_CALL* VideoBlitProc)(void);
typedef int32_t(GDIVIDEO_CALL* VideoShutdownProc)(void);
typedef int32_t(GDIVIDEO_CALL* VideoCfgProc)(void);
typedef int32_t(GDIVIDEO_CALL* VideoFullscreenProc)(void);

#ifdef __cplusplus
}
#endif

#endif
