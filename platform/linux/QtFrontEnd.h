#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Windowing.h"
#include "platform/linux/Ownership.h"

namespace qrx {

// The Qt window as the program reaches it: a module beside the executable, loaded only when a
// window can be shown, so that the terminal front end starts without loading Qt at all.
class IQtFrontEnd {
  public:
    virtual ~IQtFrontEnd() = default;
    virtual IWindowing& Window() = 0;
    // Runs the event loop until the program ends and returns the exit status.
    virtual int Run() = 0;
};

// Creates the Qt application over `argc` and `argv` (which must outlive the front end) and
// returns null, saying why in `reason`, when Qt cannot show a window here.
using CreateQtFrontEndFunction = IQtFrontEnd*(int* argc, char** argv, std::string* reason);

// The module's one exported symbol: the version of the interface above that the module was
// built for, and its factory. The program calls the factory only when the version is its own,
// so that a module of another build beside it is refused rather than called wrongly. The
// version comes first and keeps its type in every build.
struct QtFrontEndEntry {
    std::uint32_t interfaceVersion;
    CreateQtFrontEndFunction* create;
};
inline constexpr const char* kQtFrontEndEntry = "qrx_qt_front_end";

// The module's file name; the program looks for it in the executable's own folder.
inline constexpr const char* kQtModuleName = "QRX_PC_INFO_qt.so";

// Loads the module at `path` and creates the front end. Null, with the reason, when the module is
// missing, is not safe to load (see OpenQtModule), is of another build or cannot show a window.
std::unique_ptr<IQtFrontEnd> LoadQtFrontEnd(const std::string& path, int& argc, char** argv,
                                            std::string& reason);

// Opens the module at `path` for loading, once, without following a link or waiting on a FIFO,
// and checks what was opened: a regular file that only a trusted owner can have put there
// (see ForeignFileFault), in a folder that others cannot write to (a sticky folder will do),
// whose ELF headers fit the file. Returns the descriptor, or -1 with the reason.
int OpenQtModule(const std::string& path, const TrustedOwners& owners, std::string& reason);

// Why the file open at `fd`, `size` bytes long, cannot be a module of this program: not ELF,
// another machine or class, not a shared object, or headers or segments beyond its end (a file
// cut short, which would fault when its pages are touched). Null when it fits.
const char* ElfModuleFault(int fd, off_t size);

}  // namespace qrx
