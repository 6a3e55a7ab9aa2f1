#include "platform/linux/CloseSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <initializer_list>

namespace qrx {

namespace {

volatile std::sig_atomic_t received = 0;
int pipeFds[2] = {-1, -1};

void OnCloseSignal(int signal) {
    const int saved = errno;
    received = signal;
    const char byte = 1;
    // The pipe is non-blocking: when it is full, a byte is already waiting.
    [[maybe_unused]] const ssize_t n = write(pipeFds[1], &byte, 1);
    errno = saved;
}

}  // namespace

int CloseSignals::Install() {
    if (pipeFds[0] >= 0) {
        return pipeFds[0];
    }
    if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipeFds[0] = pipeFds[1] = -1;
        return -1;
    }
    struct sigaction action {};
    action.sa_handler = OnCloseSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
        sigaction(signal, &action, nullptr);
    }
    return pipeFds[0];
}

int CloseSignals::Received() {
    return received;
}

}  // namespace qrx
