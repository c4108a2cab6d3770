/* gdivideo: a video output plugin that shows a host's frames of 8-bit palette indices in the
 * host's window through GDI. The manual for host authors is the kit's README.md.
 *
 * All seven functions use the C calling convention (cdecl, GDIVIDEO_CALL) and are exported
 * undecorated, by name and by the ordinals below. A host calls them one at a time, from one
 * thread, the window's own (frames made on another thread are handed over to it: see the manual
 * and examples/threaded_host.c):
 *
 *   VideoInit                once, with the window and the frame buffer
 *   VideoSetPalette          for each colour; VideoApplyPalette optionally after
 *   VideoBlit                once per frame, after the frame is drawn into the buffer, and
 *                            from WM_PAINT to repaint (give the window class CS_HREDRAW |
 *                            CS_VREDRAW, so that every resize repaints)
 *   VideoShutdown            once, before the window is destroyed and before FreeLibrary; a new
 *                            VideoInit may follow
 *
 * Frame buffer: one byte per pixel, a palette index (only its low six bits choose the colour),
 * `height` rows, top row first, rows GDIVIDEO_FRAME_PITCH bytes apart whatever the width; the
 * first min(width, 256) bytes of each row are read, at every VideoBlit, so the buffer spans at
 * least (height - 1) * 256 + min(width, 256) bytes. The buffer and the window must stay valid and
 * unmoved from VideoInit to VideoShutdown; the buffer must not be written during a VideoBlit.
 *
 * Either find the functions with GetProcAddress (the *Proc typedefs below), or call them directly
 * and link with the kit's import library: lib/libgdivideo.dll.a (MinGW) or lib/gdivideo.lib
 * (MSVC), both made from lib/gdivideo.def.
 */
#ifndef GDIVIDEO_H
#define GDIVIDEO_H

#if defined(_WIN64)
#error "gdivideo.dll is a 32-bit DLL, which no 64-bit process can load: build the host for x86"
#endif

#include <stdint.h>
#include <windows.h>

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

/* Opens the display on `window` for frames of width x height pixels read from `frameBuffer`, and
 * clears the palette to black. `reserved` is ignored. A display still open is closed first.
 * Returns 1. */
int32_t GDIVIDEO_CALL VideoInit(int32_t width, int32_t height, HWND window, int32_t reserved,
                                const uint8_t* frameBuffer);

/* Sets palette colour `index` (0..63) from the low 8 bits of each component; it shows from the
 * next VideoBlit on. Another index stores nothing. Returns the packed colour 0x00RRGGBB. */
int32_t GDIVIDEO_CALL VideoSetPalette(int32_t index, int32_t red, int32_t green, int32_t blue);

/* Nothing to do: colours take effect at once. Returns 1. */
int32_t GDIVIDEO_CALL VideoApplyPalette(void);

/* Converts the frame and stretches it over the window's whole client area. Returns what
 * StretchDIBits returned, as the platform reports it: 0 when it failed, or when no display is open,
 * the window is null or has been destroyed; otherwise a line count (under Wine, the frame's height
 * even for a minimised window), which does not prove that anything was seen. A null frame buffer
 * shows the bitmap as it was made, black. */
int32_t GDIVIDEO_CALL VideoBlit(void);

/* Closes the display: deletes the bitmap, gives the window's device context back the layout and
 * stretching mode it had before VideoInit, and releases it. Returns the result of ReleaseDC
 * (1: released; also for a null window, whose device context is the screen's), or 0 when no
 * display was open or the window was destroyed first (its device context then belongs to the
 * system and is not released). */
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
