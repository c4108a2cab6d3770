#include "dc_state.h"

#include <cstdio>

std::string mode_name(int mode) {
    static const char* const NAMES[] = {"", "BLACKONWHITE", "WHITEONBLACK", "COLORONCOLOR", "HALFTONE"};
    return mode >= 1 && mode <= 4 ? NAMES[mode] : "mode " + std::to_string(mode);
}

std::string mapping_name(int mode) {
    static const char* const NAMES[] = {
        "",         "MM_TEXT",      "MM_LOMETRIC",   "MM_HIMETRIC", "MM_LOENGLISH", "MM_HIENGLISH",
        "MM_TWIPS", "MM_ISOTROPIC", "MM_ANISOTROPIC"};
    return mode >= 1 && mode <= 8 ? NAMES[mode] : "mapping mode " + std::to_string(mode);
}

std::string layout_name(DWORD layout) {
    if (layout == 0)
        return "left to right";
    std::string name =
        layout & LAYOUT_RTL ? "right to left (LAYOUT_RTL)" : "layout " + std::to_string(layout);
    if (layout & LAYOUT_BITMAPORIENTATIONPRESERVED)
        name += " with LAYOUT_BITMAPORIENTATIONPRESERVED";
    return name;
}

DCState::DCState(HDC dc)
    : mapping(GetMapMode(dc)), stretching(GetStretchBltMode(dc)), layout(GetLayout(dc)),
      text(GetTextColor(dc)), background(GetBkColor(dc)), backgroundMode(GetBkMode(dc)), mix(GetROP2(dc)),
      alignment(GetTextAlign(dc)), pen(GetCurrentObject(dc, OBJ_PEN)), brush(GetCurrentObject(dc, OBJ_BRUSH)),
      font(GetCurrentObject(dc, OBJ_FONT)), palette(GetCurrentObject(dc, OBJ_PAL)) {
    GetViewportOrgEx(dc, &viewportOrigin);
    GetWindowOrgEx(dc, &windowOrigin);
    GetViewportExtEx(dc, &viewportExtent);
    GetWindowExtEx(dc, &windowExtent);
}

std::string DCState::changed_from(const DCState& program) const {
    std::string changes;
    const auto add = [&](bool differs, const std::string& what) {
        if (differs)
            changes += (changes.empty() ? "" : ", ") + what;
    };
    add(mapping != program.mapping,
        "the mapping mode " + mapping_name(mapping) + ", not the program's " + mapping_name(program.mapping));
    add(stretching != program.stretching, "the stretching mode " + mode_name(stretching) +
                                              ", not the program's " + mode_name(program.stretching));
    add(layout != program.layout,
        "the layout " + layout_name(layout) + ", not the program's " + layout_name(program.layout));
    add(viewportOrigin.x != program.viewportOrigin.x || viewportOrigin.y != program.viewportOrigin.y ||
            windowOrigin.x != program.windowOrigin.x || windowOrigin.y != program.windowOrigin.y,
        "its origins moved");
    add(viewportExtent.cx != program.viewportExtent.cx || viewportExtent.cy != program.viewportExtent.cy ||
            windowExtent.cx != program.windowExtent.cx || windowExtent.cy != program.windowExtent.cy,
        "its extents changed");
    const auto colour = [](COLORREF c) {
        char text[12];
        std::snprintf(text, sizeof(text), "0x00%02X%02X%02X", GetRValue(c), GetGValue(c), GetBValue(c));
        return std::string(text);
    };
    add(text != program.text,
        "the text colour " + colour(text) + ", not the program's " + colour(program.text));
    add(background != program.background,
        "the background colour " + colour(background) + ", not the program's " + colour(program.background));
    add(backgroundMode != program.backgroundMode, "another background mode (SetBkMode)");
    add(mix != program.mix, "another drawing mode (SetROP2)");
    add(alignment != program.alignment, "another text alignment (SetTextAlign)");
    add(pen != program.pen || brush != program.brush || font != program.font || palette != program.palette,
        "another pen, brush, font or palette selected in it");
    return changes;
}
