#include "platform_spy.h"

#include "../../host/import_table.h"
#include "../support/vector_state.h"

#include <algorithm>
#include <cstring>

PlatformSpy spy;

namespace {

template <typename Handle> bool forget(std::vector<Handle>& live, Handle handle) {
    auto found = std::find(live.begin(), live.end(), handle);
    if (found == live.end())
        return false;
    live.erase(found);
    return true;
}

template <typename Handle> bool is_live(const std::vector<Handle>& live, Handle handle) {
    return std::find(live.begin(), live.end(), handle) != live.end();
}

HDC WINAPI spy_GetDC(HWND window) {
    ++spy.getDC;
    if (spy.failGetDC) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HDC dc = GetDC(window);
    // An own or class DC is the same handle at every GetDC, held once however often it is taken.
    if (dc && !is_live(spy.liveDCs, dc))
        spy.liveDCs.push_back(dc);
    return dc;
}

int WINAPI spy_ReleaseDC(HWND window, HDC dc) {
    ++spy.releaseDC;
    if (!forget(spy.liveDCs, dc))
        ++spy.staleUses;
    return ReleaseDC(window, dc);
}

BOOL WINAPI spy_GetClientRect(HWND window, RECT* rect) {
    ++spy.getClientRect;
    return GetClientRect(window, rect);
}

BOOL WINAPI spy_GdiFlush() {
    ++spy.gdiFlush;
    return GdiFlush();
}

HBITMAP WINAPI spy_CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                                    DWORD offset) {
    ++spy.createDIBSection;
    if (spy.failCreateDIBSection) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        *bits = nullptr;
        return nullptr;
    }
    HBITMAP bitmap = CreateDIBSection(dc, info, usage, bits, section, offset);
    if (bitmap)
        spy.liveBitmaps.push_back(bitmap);
    return bitmap;
}

// 1 where the upper vector state is in use, 0 where clean, -1 where the CPU cannot report it or
// its report means nothing (software emulation).
int upper_vector_state() {
    static const bool known = reports_vector_state_in_use() && !cpu_is_software_emulated();
    if (!known)
        return -1;
    unsigned low, high;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(1));
    return (low & UPPER_VECTOR_STATE) != 0;
}

int WINAPI spy_StretchDIBits(HDC dc, int x, int y, int width, int height, int sourceX, int sourceY,
                             int sourceWidth, int sourceHeight, const void* bits, const BITMAPINFO* info,
                             UINT usage, DWORD rop) {
    spy.upperVectorStateAtStretch = upper_vector_state(); // before any vector code of this wrapper
    ++spy.stretchDIBits;
    if (!is_live(spy.liveDCs, dc))
        ++spy.staleUses;
    spy.lastBits = bits;
    spy.lastDestination = {x, y, x + width, y + height};
    spy.lastWindow = WindowFromDC(dc);
    spy.lastLayout = GetLayout(dc);
    spy.lastStretchMode = GetStretchBltMode(dc);
    if (spy.failStretchDIBits) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return spy.lastResult = 0;
    }
    spy.lastResult = StretchDIBits(dc, x, y, width, height, sourceX, sourceY, sourceWidth, sourceHeight, bits,
                                   info, usage, rop);
    return spy.lastResult;
}

BOOL WINAPI spy_DeleteObject(HGDIOBJ object) {
    ++spy.deleteObject;
    if (!forget(spy.liveBitmaps, static_cast<HBITMAP>(object)))
        ++spy.staleUses;
    return DeleteObject(object);
}

HBRUSH WINAPI spy_CreateSolidBrush(COLORREF colour) {
    if (spy.failBrushes) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return CreateSolidBrush(colour);
}

struct Wrapper {
    const char* name;
    void* function;
};

const Wrapper wrappers[] = {
    {"GetDC", reinterpret_cast<void*>(spy_GetDC)},
    {"ReleaseDC", reinterpret_cast<void*>(spy_ReleaseDC)},
    {"GetClientRect", reinterpret_cast<void*>(spy_GetClientRect)},
    {"GdiFlush", reinterpret_cast<void*>(spy_GdiFlush)},
    {"CreateDIBSection", reinterpret_cast<void*>(spy_CreateDIBSection)},
    {"StretchDIBits", reinterpret_cast<void*>(spy_StretchDIBits)},
    {"DeleteObject", reinterpret_cast<void*>(spy_DeleteObject)},
    {"CreateSolidBrush", reinterpret_cast<void*>(spy_CreateSolidBrush)},
};

} // namespace

std::vector<ImportedFunction> list_imports(HMODULE module) {
    std::vector<ImportedFunction> imports;
    for_each_import(module, [&](const std::string& dll, const std::string& name, void**) {
        imports.push_back({dll, name});
    });
    return imports;
}

void install_spy(HMODULE module) {
    spy = PlatformSpy();
    for (const Wrapper& wrapper : wrappers)
        replace_import(module, wrapper.name, wrapper.function);
}
