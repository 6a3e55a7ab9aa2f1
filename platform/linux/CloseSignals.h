#pragma once

namespace qrx {

// SIGTERM, SIGHUP (logout, kill) and SIGINT (Ctrl-C) become a request to close the window. The
// handler only records the signal and writes a byte to a pipe whose read end the front end
// watches; the front end turns it into the window's close request.
class CloseSignals {
  public:
    // Installs the handlers once; returns the pipe's read end (-1 when no pipe could be made).
    static int Install();
    // The signal that asked for the close; 0 while none has.
    static int Received();
};

}  // namespace qrx
