#pragma once
// Where the operating system keeps a user's folders. On Windows these are shell
// folders; here they follow the XDG conventions, and each can be moved by an
// environment variable so that tests run in a temporary folder.

#include <filesystem>

namespace platform {

// Roaming application data: $NORVANE_APPDATA, else $XDG_CONFIG_HOME, else
// ~/.config; empty when none of them is known.
std::filesystem::path roamingAppDataFolder();

// Public documents: $NORVANE_PUBLIC_DOCUMENTS; empty when not set (Linux has no
// folder shared by all users' documents).
std::filesystem::path publicDocumentsFolder();

// The user's documents: $XDG_DOCUMENTS_DIR, else ~/Documents; empty when no home is known.
std::filesystem::path userDocumentsFolder();

// The simulator's ProgramData folder, where it keeps its lists of installed
// content: $NORVANE_PROGRAMDATA; empty when not set, as on a machine without
// the simulator.
std::filesystem::path simulatorProgramDataFolder();

// What a log line says in place of a path below one of these folders when
// the folder is not known: the folder and what names it.
inline constexpr const char* kUnknownRoamingAppDataText =
    "the application-data folder is not known: set NORVANE_APPDATA";
inline constexpr const char* kUnknownProgramDataText =
    "the simulator's ProgramData folder is not known: set NORVANE_PROGRAMDATA";

// The runtime folder for sockets and locks: $XDG_RUNTIME_DIR, else /tmp.
std::filesystem::path runtimeFolder();

} // namespace platform
