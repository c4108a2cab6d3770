// The plugin as the host sees it: a DLL loaded by path and its seven functions found by name.
#pragma once

#include <string>

#include "../include/gdivideo.h"

struct PluginApi {
    HMODULE module = nullptr;
    VideoInitProc init = nullptr;
    VideoSetPaletteProc setPalette = nullptr;
    VideoApplyPaletteProc applyPalette = nullptr;
    VideoBlitProc blit = nullptr;
    VideoShutdownProc shutdown = nullptr;
    VideoCfgProc cfg = nullptr;
    VideoFullscreenProc fullscreen = nullptr;
    DWORD loadError = 0; // why LoadLibrary failed, where it did
};

// False, with a message in `error`, when the DLL cannot be loaded or lacks one of the functions.
bool load_plugin(const std::string& path, PluginApi& api, std::string& error);
