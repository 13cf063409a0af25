#pragma once
// Where the four connection settings are kept. One implementation per build:
// settings_qt.cpp through QSettings (the INI file on Linux, the registry on Windows, see
// settings_file.h), or settings_registry.cpp, the Windows registry through the Win32
// functions for a build without Qt (moravel-cli.exe). Both read and write the same values in
// the same forms.

#include "app/controller/settings.h"

namespace moravel {

// The four values as stored now, the strings as code page 1252 bytes not yet cut to their
// fields (characters the code page lacks become '?'). A value that is missing, or that is
// not a number where a number belongs, gives its default.
ComPortChoice readStoredSettings();

// Stores the four values in the order "Connection", "DeviceName", "Controller",
// "BaudeRate", the strings as the Unicode text of their code page 1252 bytes. False when
// they could not be written.
bool writeStoredSettings(const ComPortChoice& values);

} // namespace moravel
