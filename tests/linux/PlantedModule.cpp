// What another user might put beside the program under the window module's name: as soon as it
// is loaded it leaves the marker file that QRX_TEST_MARKER names, and its entry point is of
// another build.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/linux/QtFrontEnd.h"

namespace {

__attribute__((constructor)) void LeaveMarker() {
    if (const char* marker = std::getenv("QRX_TEST_MARKER")) {
        const int fd = open(marker, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0) {
            close(fd);
        }
    }
}

qrx::IQtFrontEnd* Create(int*, char**, std::string* reason) {
    *reason = "the planted module's factory was called";
    return nullptr;
}

}  // namespace

extern "C" __attribute__((visibility("default")))
const qrx::QtFrontEndEntry qrx_qt_front_end = {1, &Create};
