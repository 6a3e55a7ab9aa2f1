// The Linux entry point: a Qt window when a display is there, the terminal otherwise. Qt is
// reached only through the front end's module, so the terminal path never loads it.
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>

#include "app/Program.h"
#include "platform/linux/LinuxServices.h"
#include "platform/linux/QtFrontEnd.h"
#include "platform/linux/TerminalWindowing.h"

namespace {

// Ctrl-C interrupts the read of the next choice, which the terminal window takes as the close
// request; nothing else needs to happen in the handler.
void OnInterrupt(int) {}

bool HasDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x != nullptr && *x != '\0') || (wayland != nullptr && *wayland != '\0');
}

}  // namespace

int main(int argc, char** argv) {
    // The argument text after the program's path, as one line.
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        commandLine += (i > 1 ? " " : "") + std::string(argv[i]);
    }

    // A file-size limit makes a write fail instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);

    qrx::LinuxServices services(argv[0]);

    if (HasDisplay()) {
        std::string reason;
        if (auto qt = qrx::LoadQtFrontEnd(services.app.ExeFolder() + "/" + qrx::kQtModuleName, argc,
                                          argv, reason)) {
            qrx::Program program(services.With(qt->Window()));
            program.Start(commandLine);
            return qt->Run();
        }
        std::cerr << "QRX_PC_INFO: no window (" << reason << "); using the terminal\n";
    }

    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: the pending read fails
    sigaction(SIGINT, &action, nullptr);

    qrx::TerminalWindowing window(std::cin, std::cout);
    qrx::Program program(services.With(window));
    program.Start(commandLine);
    return window.Run();
}
