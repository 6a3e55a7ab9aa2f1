// The Linux entry point: a Qt window when a display can be reached, the terminal otherwise. Qt
// is reached only through the front end's module, so the terminal path never loads it.
#include <fcntl.h>
#include <langinfo.h>
#include <unistd.h>

#include <cerrno>

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <string>

#include "app/Program.h"
#include "platform/linux/CloseSignals.h"
#include "platform/linux/DisplayCheck.h"
#include "platform/linux/LinuxServices.h"
#include "platform/linux/QtFrontEnd.h"
#include "platform/linux/TerminalStreams.h"
#include "platform/linux/TerminalWindowing.h"

namespace {

// A descriptor 0, 1 or 2 that is closed at start (`<&-`, a cron job, some launchers) is opened on
// /dev/null first, so that no pipe or file the program opens later takes its place: a closed
// input is then the end of input, and a closed output swallows what is written to it.
void OpenClosedStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) {
            continue;
        }
        const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
}

bool HasDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x != nullptr && *x != '\0') || (wayland != nullptr && *wayland != '\0');
}

int RunInTerminal(qrx::LinuxServices& services, const std::string& commandLine) {
    const int wake = qrx::CloseSignals::Install();
    qrx::FdInputBuffer input(STDIN_FILENO, wake);
    std::istream in(&input);
    std::unique_ptr<qrx::CharsetOutputBuffer> converted;
    std::ostream out(std::cout.rdbuf());
    if (const std::string codeset = qrx::TerminalCodeset(nl_langinfo(CODESET)); !codeset.empty()) {
        try {
            converted = std::make_unique<qrx::CharsetOutputBuffer>(std::cout, codeset);
            out.rdbuf(converted.get());
        } catch (const std::exception&) {
            // No converter for the locale's code set: UTF-8 as it is.
        }
    }
    qrx::TerminalWindowing window(in, out, [] { return qrx::CloseSignals::Received() != 0; });
    qrx::Program program(services.With(window));
    program.Start(commandLine);
    const int status = window.Run();
    // Started without a window and without a terminal (from a file manager): nobody saw the
    // menu, and success would be a lie.
    if (window.EndedUnanswered() && isatty(STDIN_FILENO) == 0) {
        std::cerr << "QRX_PC_INFO: nothing was collected: there is no window and no terminal (the "
                     "input is not a terminal and ended before any answer)"
                  << std::endl;
        return status != 0 ? status : 1;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    OpenClosedStandardDescriptors();
    std::setlocale(LC_CTYPE, "");
    // A file-size limit makes a write fail instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // A terminal that goes away (a closed pipe) makes a write fail instead of ending the
    // program: the front end takes the failed write as a close request.
    std::signal(SIGPIPE, SIG_IGN);

    // The argument text after the program's path, as one line.
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        commandLine += (i > 1 ? " " : "") + std::string(argv[i]);
    }

    // Every service but the window is built first; one that cannot be is reported once.
    std::unique_ptr<qrx::LinuxServices> services;
    try {
        services = std::make_unique<qrx::LinuxServices>(argv[0], nl_langinfo(CODESET));
    } catch (const std::exception& e) {
        std::cerr << "QRX_PC_INFO: " << e.what() << std::endl;
        return 1;
    }

    const bool displaySet = HasDisplay();
    std::string reason;
    if (qrx::KeepReachableDisplays(reason)) {
        if (auto qt = qrx::LoadQtFrontEnd(services->app.NativeFolder() + "/" + qrx::kQtModuleName,
                                          argc, argv, reason)) {
            qrx::Program program(services->With(qt->Window()));
            program.Start(commandLine);
            return qt->Run();
        }
        std::cerr << "QRX_PC_INFO: no window (" << reason << "); using the terminal\n";
    } else if (displaySet) {
        std::cerr << "QRX_PC_INFO: no window (" << reason << "); using the terminal\n";
    }
    return RunInTerminal(*services, commandLine);
}
