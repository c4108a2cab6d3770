// The self-check's cases: each a promise of the manual that a plugin can break on a user's machine,
// run in real windows, with what each window shows read back and compared with the frame. They run
// in the check's child process (check_child.h), which the plugin may take down.
#pragma once

#include <cstdint>
#include <string>

#include "plugin_api.h"

struct Outcome {
    enum Kind : int32_t { NONE, HOLDS, FAILED, SKIPPED, NOT_RUN } kind;
    std::string figure;
};

int case_count();
const char* case_name(int index);

// Runs one case on the plugin, whose calls the child watches. A case that compares pictures is
// skipped where the screen cannot show the frame's colours (8 bits a pixel).
Outcome run_case(int index, const PluginApi& plugin);
