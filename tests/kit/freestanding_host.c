/* A host that calls the plugin's functions directly, resolved at load time through an import
 * library, with no C runtime. Its exit status is the number of results that were not as
 * documented. */
#include <windows.h>

#include "gdivideo.h"

static uint8_t frame[240 * GDIVIDEO_FRAME_PITCH];

void host_entry(void) {
    HWND window =
        CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 256, 240, NULL, NULL, NULL, NULL);
    UINT failures = 0;
    failures += VideoCfg() != 0;
    failures += VideoFullscreen() != 0;
    failures += VideoInit(256, 240, window, 0, frame) != 1;
    failures += VideoSetPalette(5, 0x12, 0x34, 0x56) != 0x00123456;
    failures += VideoApplyPalette() != 1;
    failures += VideoBlit() != 240;
    failures += VideoShutdown() != 1;
    failures += VideoShutdown() != 0;
    DestroyWindow(window);
    ExitProcess(failures);
}

/* Marks the object as having no exception handlers, as MSVC's compiler marks every object it makes,
 * so that the linker can check a /SAFESEH image as a whole. */
__asm__(".globl @feat.00\n.set @feat.00, 1");
