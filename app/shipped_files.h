// Where a newcomer finds a settings file: the folder the program looked in, and where the
// settings files that ship with Vantrel were installed.
#pragma once

#include <string>

namespace vantrel::app {

// The program's current folder, as the system names it (empty when it cannot be told).
std::string CurrentFolder();

// The folder the shipped settings files are installed in, ending in its separator, with a word
// on where that is: /usr/share/vantrel/ from the .deb; on Windows the zip's folder, beside
// vantrel.exe.
std::string ShippedFilesPlace();

// The separator of folder names here.
char FolderSeparator();

}  // namespace vantrel::app
