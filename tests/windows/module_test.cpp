// The module as a file: its exports, its imports and its version resource.

#include <algorithm>
#include <cstring>
#include <set>

#include "test_support.h"

namespace {

const char* const EXPORTS[] = {"VideoApplyPalette", "VideoBlit",       "VideoCfg",     "VideoFullscreen",
                               "VideoInit",         "VideoSetPalette", "VideoShutdown"};

IMAGE_NT_HEADERS* nt_headers(HMODULE module) {
    auto* base = reinterpret_cast<BYTE*>(module);
    return reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
}

IMAGE_EXPORT_DIRECTORY* export_directory(HMODULE module) {
    const DWORD rva =
        nt_headers(module)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress;
    return rva ? reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(reinterpret_cast<BYTE*>(module) + rva) : nullptr;
}

// The checked build is the same module to a host: the same exports, the same version.
class EveryBuild : public testing::TestWithParam<std::string> {};
INSTANTIATE_TEST_SUITE_P(Module, EveryBuild, testing::Values(plugin_path(), checked_plugin_path()),
                         [](const auto& info) { return info.index ? "checked" : "release"; });

TEST_P(EveryBuild, ExportsExactlyTheSevenFunctionsByNameAndAlphabeticalOrdinal) {
    Plugin plugin;
    ASSERT_TRUE(plugin.load(GetParam()));
    for (WORD ordinal = 1; ordinal <= 7; ++ordinal) {
        const char* name = EXPORTS[ordinal - 1];
        FARPROC byName = GetProcAddress(plugin.module, name);
        ASSERT_NE(byName, nullptr) << name;
        EXPECT_EQ(GetProcAddress(plugin.module, MAKEINTRESOURCEA(ordinal)), byName) << name;
    }

    IMAGE_EXPORT_DIRECTORY* directory = export_directory(plugin.module);
    ASSERT_NE(directory, nullptr);
    EXPECT_EQ(directory->Base, 1u);
    EXPECT_EQ(directory->NumberOfFunctions, 7u);
    ASSERT_EQ(directory->NumberOfNames, 7u);
    auto* base = reinterpret_cast<BYTE*>(plugin.module);
    auto* names = reinterpret_cast<DWORD*>(base + directory->AddressOfNames);
    for (DWORD i = 0; i < directory->NumberOfNames; ++i)
        EXPECT_STREQ(reinterpret_cast<const char*>(base + names[i]), EXPORTS[i]);
}

TEST_F(PluginTest, ImportsOnlyThePlatformFunctionsItCalls) {
    std::set<std::string> imports;
    for (const ImportedFunction& function : list_imports(plugin.module))
        imports.insert(function.module + "!" + function.name);
    const std::set<std::string> expected = {"user32.dll!GetDC",
                                            "user32.dll!ReleaseDC",
                                            "user32.dll!GetClientRect",
                                            "gdi32.dll!CreateDIBSection",
                                            "gdi32.dll!GdiFlush",
                                            "gdi32.dll!StretchDIBits",
                                            "gdi32.dll!DeleteObject",
                                            "gdi32.dll!SetLayout",
                                            "gdi32.dll!GetStretchBltMode",
                                            "gdi32.dll!SetStretchBltMode",
                                            "gdi32.dll!GetLayout",
                                            "gdi32.dll!GetMapMode",
                                            "gdi32.dll!SetMapMode",
                                            "user32.dll!GetWindowLongA",
                                            "user32.dll!WindowFromDC",
                                            "user32.dll!IsWindow"};
    EXPECT_EQ(imports, expected);
    EXPECT_EQ(list_imports(plugin.module).size(), expected.size()) << "a function is imported twice";
}

#if !defined(_WIN64) // the shipped image is the 32-bit one
// What a host's process gets from the image: relocatable, no executable data, no handler an
// exception-handler overwrite could aim at, loadable by every 32-bit Windows, and nothing run at
// load: no TLS callbacks, and an entry point that only returns TRUE (mov eax, 1; ret 12).
TEST_F(PluginTest, ImageIsHardenedAndRunsNothingAtLoad) {
    const IMAGE_NT_HEADERS* nt = nt_headers(plugin.module);
    const IMAGE_OPTIONAL_HEADER32& optional = nt->OptionalHeader;
    const WORD wanted = IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE | IMAGE_DLLCHARACTERISTICS_NX_COMPAT |
                        IMAGE_DLLCHARACTERISTICS_NO_SEH;
    EXPECT_EQ(optional.DllCharacteristics & wanted, wanted) << std::hex << optional.DllCharacteristics;
    EXPECT_NE(optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC].Size, 0u);
    EXPECT_EQ(optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS].Size, 0u);
    EXPECT_EQ(optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG].Size, 0u);
    EXPECT_EQ(optional.MajorOperatingSystemVersion, 4);
    EXPECT_EQ(optional.MinorOperatingSystemVersion, 0);
    EXPECT_EQ(optional.MajorSubsystemVersion, 4);
    EXPECT_EQ(optional.MinorSubsystemVersion, 0);

    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        const DWORD both = IMAGE_SCN_MEM_WRITE | IMAGE_SCN_MEM_EXECUTE;
        EXPECT_NE(section->Characteristics & both, both) << "section " << i << " is writable and executable";
    }

    const BYTE returnsTrue[] = {0xB8, 0x01, 0x00, 0x00, 0x00, 0xC2, 0x0C, 0x00};
    ASSERT_NE(optional.AddressOfEntryPoint, 0u);
    EXPECT_EQ(std::memcmp(reinterpret_cast<BYTE*>(plugin.module) + optional.AddressOfEntryPoint, returnsTrue,
                          sizeof(returnsTrue)),
              0);
}

#endif

TEST_P(EveryBuild, IsTheProjectsForA32BitWindowsDll) {
    const std::string path = GetParam();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(PROJECT_VERSION_MS));
    EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(PROJECT_VERSION_LS));
    EXPECT_EQ(fixed->dwProductVersionMS, static_cast<DWORD>(PROJECT_VERSION_MS));
    EXPECT_EQ(fixed->dwProductVersionLS, static_cast<DWORD>(PROJECT_VERSION_LS));
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u);
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    for (const char* key : {"FileVersion", "ProductVersion", "LegalCopyright"}) {
        char* text = nullptr;
        const std::string query = std::string("\\StringFileInfo\\040904b0\\") + key;
        ASSERT_TRUE(VerQueryValueA(data.data(), query.c_str(), reinterpret_cast<void**>(&text), &length))
            << key;
        EXPECT_STREQ(text, key[0] == 'L' ? "Copyright (C) 2026 the gdivideo authors; zlib licence" : "1.00")
            << key;
    }

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1200);
}

} // namespace
