#include "import_table.h"

#include <algorithm>
#include <cctype>

void for_each_import(
    HMODULE module,
    const std::function<void(const std::string& dll, const std::string& name, void** slot)>& visit) {
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* nt =
        reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!directory.VirtualAddress)
        return;
    for (auto* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         descriptor->Name; ++descriptor) {
        std::string dll = reinterpret_cast<const char*>(base + descriptor->Name);
        std::transform(dll.begin(), dll.end(), dll.begin(), [](unsigned char c) { return std::tolower(c); });
        const DWORD lookup =
            descriptor->OriginalFirstThunk ? descriptor->OriginalFirstThunk : descriptor->FirstThunk;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + lookup);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            std::string name;
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                name = "#" + std::to_string(IMAGE_ORDINAL(names->u1.Ordinal));
            else
                name = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name;
            visit(dll, name, reinterpret_cast<void**>(&slots->u1.Function));
        }
    }
}

void replace_import(HMODULE module, const std::string& name, void* replacement) {
    for_each_import(module, [&](const std::string&, const std::string& imported, void** slot) {
        if (imported != name)
            return;
        DWORD protection;
        VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &protection);
        *slot = replacement;
        VirtualProtect(slot, sizeof(void*), protection, &protection);
    });
}
