#include <dlfcn.h>

#include "platform/linux/QtFrontEnd.h"

namespace qrx {

std::unique_ptr<IQtFrontEnd> LoadQtFrontEnd(const std::string& path, int& argc, char** argv,
                                            std::string& reason) {
    // The module stays loaded until the program ends: Qt does not support being unloaded.
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* error = dlerror();
        reason = error != nullptr ? error : "cannot load " + path;
        return nullptr;
    }
    auto* create = reinterpret_cast<CreateQtFrontEndFunction*>(dlsym(module, kCreateQtFrontEnd));
    if (create == nullptr) {
        reason = path + ": no " + kCreateQtFrontEnd;
        return nullptr;
    }
    return std::unique_ptr<IQtFrontEnd>(create(&argc, argv, &reason));
}

}  // namespace qrx
