// The registry store behind the platform seam on Linux: keys and typed values kept in a Wine
// prefix's registry files (system.reg = HKEY_LOCAL_MACHINE, with HKEY_CLASSES_ROOT as its
// Software\Classes; user.reg = HKEY_CURRENT_USER; userdef.reg = HKEY_USERS\.Default), and the
// profile (INI) files. The Win32 calls themselves are declared in runtime/win32_seam.h; this
// header only adds what the tools and tests need to know about the store.
#pragma once

#include <string>

namespace vantrel::store {

// The folder the store uses now: VANTREL_REGISTRY, else WINEPREFIX, else
// $XDG_DATA_HOME/vantrel/registry (default ~/.local/share/vantrel/registry). Read from the
// environment on every call, so a process may switch stores.
std::string StoreFolder();
// The same, without building a new string when the environment has not changed.
const std::string& StoreFolderRef();

// Why the last store call of this thread failed, in words (file, line, what to do), or empty.
// The same text goes to the message sink when the failure is one the user must act on (a file
// that cannot be read, a running wineserver, a folder that may not be written).
std::string LastStoreMessage();

// Where those messages go; the default writes "vantrel: <message>" to stderr. nullptr restores
// the default.
using MessageSink = void (*)(const char* message);
void SetStoreMessageSink(MessageSink sink);

// Tests: hide SHDeleteKeyA from LoadLibraryA("SHLWAPI.DLL") so the caller's own recursive
// deletion runs instead.
void SetTreeDeleteAvailable(bool available);

}  // namespace vantrel::store
