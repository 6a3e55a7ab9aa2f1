#pragma once

#include <cerrno>

namespace qrx {

// Calls `call` again for as long as it fails with EINTR (a signal came before anything was
// done) and returns its last result; every other result, errno with it, is the caller's.
template <typename Call>
auto RetryOnEintr(Call call) -> decltype(call()) {
    for (;;) {
        const auto result = call();
        if (!(result < 0 && errno == EINTR)) {
            return result;
        }
    }
}

}  // namespace qrx
