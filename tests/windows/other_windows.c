/* Another program's windows, for the tests that must hold beside one: creates and destroys windows
 * without pause, so that it takes a window handle slot the moment another program frees one, until
 * the program whose process ID it was given ends. It sets that program's event "other windows PID"
 * once its first windows have come and gone.
 *   other_windows.exe PID */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

int main(int argc, char** argv) {
    const unsigned long pid = argc > 1 ? strtoul(argv[1], NULL, 10) : 0;
    char name[64];
    snprintf(name, sizeof(name), "other windows %lu", pid);
    HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, pid),
           started = OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
    if (!parent || !started)
        return 2;
    while (WaitForSingleObject(parent, 0) == WAIT_TIMEOUT) {
        HWND windows[8];
        MSG message;
        for (int i = 0; i < 8; ++i)
            windows[i] = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 8, 8, NULL, NULL, NULL, NULL);
        for (int i = 0; i < 8; ++i)
            DestroyWindow(windows[i]);
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        SetEvent(started);
    }
    return 0;
}
