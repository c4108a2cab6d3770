// The checked build compiles the plugin's own entry points and display surface with this header
// included first. Four entry points become the inner steps that the checks wrap; the platform
// calls whose failures the checks report, and the frame conversion, go through the checks, which
// call the real ones. The release build never includes it, so its code is what it was.
#pragma once

#include <windows.h>

#define VideoInit checked_inner_VideoInit
#define VideoSetPalette checked_inner_VideoSetPalette
#define VideoBlit checked_inner_VideoBlit
#define VideoShutdown checked_inner_VideoShutdown

#define GetDC checked_GetDC
#define CreateDIBSection checked_CreateDIBSection
#define StretchDIBits checked_StretchDIBits
// Declared as checked_frame_convert by the core's own header, with the same parameters.
#define frame_convert checked_frame_convert

HDC WINAPI checked_GetDC(HWND window);
HBITMAP WINAPI checked_CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits,
                                        HANDLE section, DWORD offset);
int WINAPI checked_StretchDIBits(HDC dc, int x, int y, int width, int height, int sourceX, int sourceY,
                                 int sourceWidth, int sourceHeight, const void* bits, const BITMAPINFO* info,
                                 UINT usage, DWORD rop);
