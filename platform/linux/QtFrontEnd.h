#pragma once

#include <memory>
#include <string>

#include "platform/Windowing.h"

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

// The module's one exported function. It creates the Qt application over `argc` and `argv`
// (which must outlive the front end) and returns null, saying why in `reason`, when Qt cannot
// show a window here.
using CreateQtFrontEndFunction = IQtFrontEnd*(int* argc, char** argv, std::string* reason);
inline constexpr const char* kCreateQtFrontEnd = "qrx_create_qt_front_end";

// The module's file name; the program looks for it in the executable's own folder.
inline constexpr const char* kQtModuleName = "QRX_PC_INFO_qt.so";

// Loads the module at `path` and creates the front end. Null, with the reason, when the module is
// missing, cannot be loaded or cannot show a window.
std::unique_ptr<IQtFrontEnd> LoadQtFrontEnd(const std::string& path, int& argc, char** argv,
                                            std::string& reason);

}  // namespace qrx
