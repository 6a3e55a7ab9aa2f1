#pragma once

#include "platform/Result.h"

namespace qrx {

// A failure of a Win32 call (GetLastError) as the desk reads it: the common reasons in Japanese
// with the code's name at the end ("ほかのプログラムが使用中です (ERROR_SHARING_VIOLATION)"),
// the others in the system's own words with the number.
Failure FromWin32(unsigned long error);

}  // namespace qrx
