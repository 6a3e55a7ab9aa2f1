#pragma once

#include <string>

#include "app/frmMain.h"
#include "output/ProgramState.h"

namespace qrx {

// True when the first word of the argument text is exactly "DEBUG". The text is split at every
// single space, without trimming, so a leading space makes the first word empty.
bool IsDebugCommandLine(const std::string& commandLine);

// The program's entry: sets the debug mode from the argument text after the program's path and
// opens the main window.
void Main(const std::string& commandLine, ProgramState& state, frmMain& form);

}  // namespace qrx
