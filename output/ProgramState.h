#pragma once

#include "platform/System.h"

namespace qrx {

// The program-wide values: set by the shell, read by the output routines. One instance lives in
// the program (or in a test) and is handed to whoever reads it.
struct ProgramState {
    // Set once at start-up when the first command-line word is "DEBUG".
    bool DebugMode = false;
    // The moment the latest collection run started; the zero date-time until the first run.
    LocalDateTime RunStartTime = LocalDateTime::Zero();
};

}  // namespace qrx
