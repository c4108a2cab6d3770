/* gdivideo: a video output plugin that shows a host's frames of 8-bit palette indices in the
 * host's window through GDI.
 *
 * All seven functions use the C calling convention (cdecl) and are exported undecorated, by name
 * and by the ordinals below. A host calls them one at a time, from one thread:
 *
 *   VideoInit                once, with the window and the frame buffer
 *   VideoSetPalette          for each colour; VideoApplyPalette optionally after
 *   VideoBlit                once per frame, after the frame is drawn into the buffer
 *   VideoShutdown            once; a new VideoInit may follow
 *
 * Frame buffer: one byte per pixel, a palette index (only its low six bits choose the colour),
 * `height` rows, top row first, rows GDIVIDEO_FRAME_PITCH bytes apart whatever the width; the
 * first `width` bytes of each row are read, at every VideoBlit. The buffer and the window must
 * stay valid and unmoved from VideoInit to VideoShutdown.
 */
#ifndef GDIVIDEO_H
#define GDIVIDEO_H

#include <stdint.h>
#include <windows.h>

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
int32_t __cdecl VideoInit(int32_t width, int32_t height, HWND window, int32_t reserved,
                          const uint8_t* frameBuffer);

/* Sets palette colour `index` (0..63) from the low 8 bits of each component; it shows from the
 * next VideoBlit on. Another index stores nothing. Returns the packed colour 0x00RRGGBB. */
int32_t __cdecl VideoSetPalette(int32_t index, int32_t red, int32_t green, int32_t blue);

/* Nothing to do: colours take effect at once. Returns 1. */
int32_t __cdecl VideoApplyPalette(void);

/* Converts the frame and stretches it over the window's whole client area. Returns the result of
 * StretchDIBits (0: nothing was drawn), or 0 when no display is open. */
int32_t __cdecl VideoBlit(void);

/* Closes the display: releases the bitmap and the window's device context. Returns the result of
 * ReleaseDC (1: released), or 0 when no display was open. */
int32_t __cdecl VideoShutdown(void);

/* No settings: returns 0. */
int32_t __cdecl VideoCfg(void);

/* No full-screen mode: returns 0. */
int32_t __cdecl VideoFullscreen(void);

typedef int32_t(__cdecl* VideoInitProc)(int32_t, int32_t, HWND, int32_t, const uint8_t*);
typedef int32_t(__cdecl* VideoSetPaletteProc)(int32_t, int32_t, int32_t, int32_t);
typedef int32_t(__cdecl* VideoApplyPaletteProc)(void);
typedef int32_t(__cdecl* VideoBlitProc)(void);
typedef int32_t(__cdecl* VideoShutdownProc)(void);
typedef int32_t(__cdecl* VideoCfgProc)(void);
typedef int32_t(__cdecl* VideoFullscreenProc)(void);

#ifdef __cplusplus
}
#endif

#endif
