// Where the self-check runs the plugin: in a child process (this program again, started with
// --check-child), so that a plugin that crashes, hangs or ends the program takes only the child
// with it. The child loads the plugin and runs the cases one after another; each case's outcome,
// and the plugin's call that is running, come back through memory the two processes share. A case
// whose child died gets a verdict that says how, and the next case runs in a new child.
#pragma once

#include <functional>
#include <string>

#include <windows.h>

#include "check_cases.h"

// The longest a case may run, how many cases may hang, and in how many cases in a row the plugin
// may end the program the same way (a crash at the same place, say), before the rest are not run:
// the whole check ends within about a minute whatever the plugin does.
constexpr DWORD CASE_SECONDS = 10;
constexpr int HANGS_BEFORE_GIVING_UP = 2;
constexpr int SAME_ENDS_BEFORE_GIVING_UP = 3;

struct ChildRun {
    bool loaded = false;
    DWORD loadError = 0;     // why LoadLibrary failed, where it did
    std::string loadProblem; // what went wrong as the plugin was loaded
    std::string afterCases;  // what went wrong after the last case, as the plugin was unloaded
    std::string hostProblem; // what kept the check itself from running a case
};

// Runs the cases of the plugin at `path` in children: `starting(i)` as case i begins and
// `ended(i, outcome)` once it is over, in order. Where the plugin cannot be loaded, no case runs.
ChildRun run_cases_in_children(const std::string& path, const std::function<void(int)>& starting,
                               const std::function<void(int, const Outcome&)>& ended);

// The child's side: `gdivideo_host --check-child SHARED FIRST PATH`.
int run_check_child(int argc, char** argv);
