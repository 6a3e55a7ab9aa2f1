#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "platform/DesktopShell.h"
#include "tools/decode/Decoder.h"

namespace qrx {

// The decoder as the file manager starts it, in a console window of its own that closes when it
// ends: files dropped on it and no option make an HTML report in the temporary folder that the
// browser opens; nothing given shows how to use it. Both say what they did and wait for Enter.
// From a console, or with an option, it is RunDecoder.
int RunDesktopDecoder(const std::vector<std::string>& args, ICryptoProvider& crypto,
                      ITextCodec& codec, IKeyedHash& hash, const InputOpener& open, IFileTree& tree,
                      IDesktopShell& shell, IByteOutput& out, std::ostream& err);

}  // namespace qrx
