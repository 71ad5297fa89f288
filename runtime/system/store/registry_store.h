// The registry store behind the platform seam on Linux: keys and typed values kept in a Wine
// prefix's registry files (system.reg = HKEY_LOCAL_MACHINE, with HKEY_CLASSES_ROOT as its
// Software\Classes; user.reg = HKEY_CURRENT_USER; userdef.reg = HKEY_USERS\.Default), and the
// profile (INI) files. The Win32 calls themselves are declared in runtime/seam/win32_seam.h; this
// header only adds what the tools and tests need to know about the store.
#pragma once

#include <string>

namespace vantrel::store {

// Where the store's folder is and why: VANTREL_REGISTRY, else WINEPREFIX, else ~/.wine when it
// exists (the prefix Wine's own tools use then), else $XDG_DATA_HOME/vantrel/registry (default
// ~/.local/share/vantrel/registry). A folder named by a variable must exist: a mistyped name
// would otherwise become a new, empty registry that takes every change and shows none of the
// real one. Only the default location is created on the first write.
struct StoreLocation {
  std::string folder;
  std::string source;  // "VANTREL_REGISTRY", "WINEPREFIX", "~/.wine" or "the default location"
  bool named = false;  // named by an environment variable
};
StoreLocation LocateStore();

// The folder the store uses now (LocateStore().folder). Read from the environment on every call,
// so a process may switch stores.
std::string StoreFolder();
// The same, without building a new string when the environment has not changed.
const std::string& StoreFolderRef();

// Empty when the store can be written now; otherwise why not, in words that name the folder: a
// named folder that does not exist, a running wineserver that would overwrite the change, a
// folder or file this user may not write. Reports nothing to the message sink: commands ask
// before their first write and tell the user once.
std::string StoreWriteProblem();

// Empty, or the complaint (naming it) when the folder a variable names does not exist: such a
// store reads as empty, which is not what the machine holds.
std::string MissingStoreFolder();

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
