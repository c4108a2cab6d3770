// What a program may have set on a device context of its own, and expects to find as it left it.
#pragma once

#include <windows.h>

#include <string>

std::string mode_name(int mode);
std::string mapping_name(int mode);
std::string layout_name(DWORD layout);

struct DCState {
    int mapping, stretching;
    DWORD layout;
    POINT viewportOrigin, windowOrigin;
    SIZE viewportExtent, windowExtent;
    COLORREF text, background;
    int backgroundMode, mix;
    UINT alignment;
    HGDIOBJ pen, brush, font, palette;

    explicit DCState(HDC dc);
    // What differs from the program's: empty where nothing does.
    std::string changed_from(const DCState& program) const;
};
