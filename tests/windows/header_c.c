/* The public header compiles as C, and its typedefs match its declarations. */
#include "../../include/gdivideo.h"

_Static_assert(__builtin_types_compatible_p(__typeof__(&VideoInit), VideoInitProc), "VideoInit");
_Static_assert(__builtin_types_compatible_p(__typeof__(&VideoSetPalette), VideoSetPaletteProc),
               "VideoSetPalette");
_Static_assert(__builtin_types_compatible_p(__typeof__(&VideoApplyPalette), VideoApplyPaletteProc),
               "VideoApplyPalette");
_Static_assert(__builtin_types_compatible_p(__typeof__(&VideoBlit), VideoBlitProc), "VideoBlit");
_Static_assert(__builtin_types_compatible_p(__typeof__(&VideoShutdown), VideoShutdownProc), "VideoShutdown");
_Static_assert(__builtin_types_compatible_p(__typeof__(&VideoCfg), VideoCfgProc), "VideoCfg");
_Static_assert(__builtin_types_compatible_p(__typeof__(&VideoFullscreen), VideoFullscreenProc),
               "VideoFullscreen");
_Static_assert(GDIVIDEO_FRAME_PITCH == 256 && GDIVIDEO_PALETTE_COLOURS == 64, "layout");

int gdivideo_header_compiles_as_c(void) { return GDIVIDEO_ORDINAL_INIT; }
