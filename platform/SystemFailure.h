#pragma once

#include <system_error>

#include "platform/Result.h"

namespace qrx {

// A failure of the system's C library (`errno`) as the desk reads it: the common reasons in
// Japanese with the code's name at the end ("ファイルがありません (ENOENT)"), the others in the
// system's words with the number.
Failure FromErrno(int error);

// A failure of the standard library's file system calls, through the C library's code where
// the system gives one.
Failure FromErrorCode(const std::error_code& error);

}  // namespace qrx
