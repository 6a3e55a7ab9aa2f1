// --xlsx where the build has no libxlsxwriter (the Windows decoder until it is built for
// mingw-w64): the option is refused with the reason.
#include "tools/decode/formats/Format.h"

namespace qrx {

std::unique_ptr<IFormat> MakeXlsxFormat(FileMaker, std::string& error) {
    error = "この復号プログラム (Windows 版) は --xlsx を書けません。--csv をお使いください";
    return nullptr;
}

}  // namespace qrx
