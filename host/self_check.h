// The self-check: the plugin run through the cases a host meets, in real windows on this machine,
// with what each window shows read back and compared with what the frame holds.
#pragma once

#include <string>

// Prints what it runs on, one line per case (ok, FAILED with the figure that failed, or skipped)
// and a verdict. Returns 0 when every case held, 1 otherwise.
int run_self_check(const std::string& pluginPath);
