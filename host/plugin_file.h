// What the self-check says of the plugin's file without running any of it: what it is, whether it
// is a DLL released with this program, and why it cannot be loaded where it cannot.
#pragma once

#include <windows.h>

#include <string>

// The file's SHA-256 in lower-case hex; empty where the file cannot be read.
std::string file_sha256(const std::string& path);

// "the plugin released with this check", or what else the file is, by its SHA-256.
std::string release_identity(const std::string& sha256);

// "version 1.0.0.0, DESCRIPTION" from the version resource, or "no version resource".
std::string file_version(const std::string& path);

// Why LoadLibrary gave `error` for the plugin at `path`, in words for whoever installed it, with
// what to do: a missing file, a DLL it needs that is missing (named), a file that is no 32-bit
// DLL, a DLL whose start-up code refused.
std::string why_it_cannot_load(const std::string& path, DWORD error);

// "Windows 7 (6.1, build 7601)", and Wine's version where it runs under Wine.
std::string windows_name();
