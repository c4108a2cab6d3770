#include "plugin_file.h"

#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <vector>

#include "import_table.h"
#include "released_plugins.h"

std::string file_sha256(const std::string& path) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "";
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    std::string hex;
    if (CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
        CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) {
        BYTE chunk[65536];
        DWORD got = 0;
        bool read = true;
        while ((read = ReadFile(file, chunk, sizeof(chunk), &got, nullptr)) && got)
            CryptHashData(hash, chunk, got, 0);
        BYTE digest[32];
        DWORD size = sizeof(digest);
        if (read && CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0))
            for (BYTE byte : digest) {
                char two[3];
                std::snprintf(two, sizeof(two), "%02x", byte);
                hex += two;
            }
    }
    if (hash)
        CryptDestroyHash(hash);
    if (provider)
        CryptReleaseContext(provider, 0);
    CloseHandle(file);
    return hex;
}

std::string release_identity(const std::string& sha256) {
    if (sha256 == RELEASED_PLUGIN_SHA256)
        return "the plugin released with this check";
    if (sha256 == RELEASED_CHECKED_PLUGIN_SHA256)
        return "the checked build released with this check";
    return "not the plugin released with this check (another build, another version, or another plugin)";
}

std::string file_version(const std::string& path) {
    DWORD handle = 0;
    std::vector<char> data(GetFileVersionInfoSizeA(path.c_str(), &handle));
    VS_FIXEDFILEINFO* fixed = nullptr;
    char* description = nullptr;
    UINT length = 0;
    if (data.empty() || !GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(data.size()), data.data()) ||
        !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length))
        return "no version resource";
    std::string text = "version " + std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                       std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                       std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
                       std::to_string(LOWORD(fixed->dwFileVersionLS));
    if (VerQueryValueA(data.data(), "\\StringFileInfo\\040904b0\\FileDescription",
                       reinterpret_cast<void**>(&description), &length))
        text += std::string(", described as \"") + description + "\"";
    return text;
}

namespace {

// The DLLs the image at `path` needs, directly or through others, that Windows does not find where
// it looks for this program: each file is mapped without running any of its code.
void find_missing(const std::string& path, std::set<std::string>& seen, std::vector<std::string>& missing,
                  int depth) {
    HMODULE image = LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (!image)
        return;
    std::set<std::string> needed;
    for_each_import(image, [&](const std::string& dll, const std::string&, void**) { needed.insert(dll); });
    for (const std::string& dll : needed) {
        if (!seen.insert(dll).second)
            continue;
        const bool loadedAlready = GetModuleHandleA(dll.c_str()) != nullptr;
        HMODULE found = LoadLibraryExA(dll.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        if (!found) {
            missing.push_back(dll);
            continue;
        }
        char foundPath[MAX_PATH];
        if (!loadedAlready && depth < 4 && GetModuleFileNameA(found, foundPath, MAX_PATH))
            find_missing(foundPath, seen, missing, depth + 1);
        FreeLibrary(found);
    }
    FreeLibrary(image);
}

std::string list(const std::vector<std::string>& names) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return text;
}

const char* const REINSTALL = "install the plugin again, from the program that came with it or from its kit";

} // namespace

std::string why_it_cannot_load(const std::string& path, DWORD error) {
    if (error == ERROR_MOD_NOT_FOUND || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            return "there is no file " + path + "\nWhat to do: " + REINSTALL +
                   ", or name the file with --plugin PATH";
        std::set<std::string> seen;
        std::vector<std::string> missing;
        find_missing(path, seen, missing, 0);
        if (!missing.empty())
            return "the file is there, but it needs " + list(missing) +
                   ", which Windows does not find (beside the "
                   "program, in the system folder or on PATH)\nWhat to do: " +
                   REINSTALL + "; if that does not help, tell the plugin's maker that " + list(missing) +
                   " is missing";
        return "the file is there, but a DLL it needs is missing, and the check cannot tell which\nWhat to "
               "do: " +
               std::string(REINSTALL);
    }
    if (error == ERROR_BAD_EXE_FORMAT)
        return "the file is not a 32-bit Windows DLL (a 64-bit build, another kind of file, or a damaged "
               "copy); "
               "this plugin serves 32-bit programs only\nWhat to do: " +
               std::string(REINSTALL);
    if (error == ERROR_DLL_INIT_FAILED)
        return "its start-up code (DllMain) refused to load it\nWhat to do: " + std::string(REINSTALL) +
               "; if this comes again, send this whole output to the plugin's maker";
    if (error == ERROR_NOACCESS) // the loader catches what faults in DllMain
        return "its start-up code (DllMain) crashed as it was loaded, on memory it may not touch\nWhat to "
               "do: " +
               std::string(REINSTALL) + "; if this comes again, send this whole output to the plugin's maker";
    if (error == 0)
        return "the file is a DLL, but not a video output plugin: it lacks one of the seven functions\nWhat "
               "to do: " +
               std::string(REINSTALL);
    return "Windows would not load it\nWhat to do: " + std::string(REINSTALL) +
           "; if this comes again, send this whole output to the plugin's maker";
}

std::string windows_name() {
    struct VersionInfo {
        ULONG size, major, minor, build, platform;
        WCHAR servicePack[128];
    } info = {};
    info.size = sizeof(info);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    auto rtlGetVersion = reinterpret_cast<LONG(WINAPI*)(VersionInfo*)>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    std::string text = "Windows";
    if (rtlGetVersion && rtlGetVersion(&info) == 0) {
        const ULONG version = info.major * 100 + info.minor;
        const char* name = version == 500    ? "2000"
                           : version == 501  ? "XP"
                           : version == 502  ? "XP x64 or Server 2003"
                           : version == 600  ? "Vista"
                           : version == 601  ? "7"
                           : version == 602  ? "8"
                           : version == 603  ? "8.1"
                           : version == 1000 ? (info.build >= 22000 ? "11" : "10")
                                             : nullptr;
        if (name)
            text += std::string(" ") + name;
        text += " (" + std::to_string(info.major) + "." + std::to_string(info.minor) + ", build " +
                std::to_string(info.build) + ")";
    }
    // Wine says so through ntdll; Windows has no such function.
    auto wineVersion = reinterpret_cast<const char*(CDECL*)()>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
    if (wineVersion)
        text += std::string(", under Wine ") + wineVersion();
    return text;
}
