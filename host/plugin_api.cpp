#include "plugin_api.h"

namespace {

template <typename Proc> bool find(HMODULE module, const char* name, Proc& proc, std::string& missing) {
    proc = reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (!proc && missing.empty())
        missing = name;
    return proc != nullptr;
}

// "Windows error N: what the system says it means".
std::string windows_error(DWORD code) {
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                   sizeof(text), nullptr);
    std::string meaning = text;
    while (!meaning.empty() && (meaning.back() == '\n' || meaning.back() == '\r' || meaning.back() == ' ' ||
                                meaning.back() == '.'))
        meaning.pop_back();
    return "Windows error " + std::to_string(code) + (meaning.empty() ? "" : ": " + meaning);
}

} // namespace

bool load_plugin(const std::string& path, PluginApi& api, std::string& error) {
    api.module = LoadLibraryA(path.c_str());
    if (!api.module) {
        const DWORD code = GetLastError();
        api.loadError = code;
        error = "cannot load the plugin '" + path + "'";
        if (code == ERROR_BAD_EXE_FORMAT)
            error += ": it is not a 32-bit Windows DLL";
        error += " (" + windows_error(code) + ")";
        return false;
    }
    std::string missing;
    find(api.module, "VideoInit", api.init, missing);
    find(api.module, "VideoSetPalette", api.setPalette, missing);
    find(api.module, "VideoApplyPalette", api.applyPalette, missing);
    find(api.module, "VideoBlit", api.blit, missing);
    find(api.module, "VideoShutdown", api.shutdown, missing);
    find(api.module, "VideoCfg", api.cfg, missing);
    find(api.module, "VideoFullscreen", api.fullscreen, missing);
    if (missing.empty())
        return true;
    error = "'" + path + "' is not a video output plugin: it does not export " + missing;
    FreeLibrary(api.module);
    api = PluginApi();
    return false;
}
