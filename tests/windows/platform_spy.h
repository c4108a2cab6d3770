// Watches the plugin's platform calls by replacing its import-table entries with counting
// wrappers, and can make GetDC, CreateDIBSection, StretchDIBits or CreateSolidBrush (which only the
// checked DLL calls) fail, as the system does when it runs out of resources. Handles are tracked so that a
// release of a handle never acquired, a double release or a use after release shows as a stale use.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct ImportedFunction {
    std::string module; // lower case, e.g. "user32.dll"
    std::string name;   // "#N" for an import by ordinal
};

std::vector<ImportedFunction> list_imports(HMODULE module);

struct PlatformSpy {
    int getDC = 0;
    int releaseDC = 0;
    int getClientRect = 0;
    int gdiFlush = 0;
    int createDIBSection = 0;
    int stretchDIBits = 0;
    int deleteObject = 0;
    int staleUses = 0;
    bool failGetDC = false;
    bool failCreateDIBSection = false;
    bool failStretchDIBits = false;
    bool failBrushes = false; // as a process that has used up its GDI objects
    const void* lastBits = nullptr;
    RECT lastDestination = {};
    HWND lastWindow = nullptr; // what the DC drawn on served, its layout and mode, at that moment
    DWORD lastLayout = 0;
    int lastStretchMode = 0;
    int lastResult = 0;
    // The upper vector state (XGETBV(1)) as the frame was handed to StretchDIBits: the conversion
    // must leave it clean. -1 where the CPU cannot tell.
    int upperVectorStateAtStretch = -1;
    std::vector<HDC> liveDCs;
    std::vector<HBITMAP> liveBitmaps;

    int calls() const {
        return getDC + releaseDC + getClientRect + gdiFlush + createDIBSection + stretchDIBits + deleteObject;
    }
};

extern PlatformSpy spy;

// Resets the spy and routes the module's seven platform imports through it.
void install_spy(HMODULE module);
