// A loaded module's import table: the functions it imports, by DLL and name, each with the slot
// that the loader filled in and that a spy may point elsewhere. The self-check counts a plugin's
// device contexts this way, and the tests watch every platform call of the DLL.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// `dll` in lower case; `name` "#N" for an import by ordinal.
void for_each_import(
    HMODULE module,
    const std::function<void(const std::string& dll, const std::string& name, void** slot)>& visit);

// Points every slot of the module's imports named `name` at `replacement`.
void replace_import(HMODULE module, const std::string& name, void* replacement);
