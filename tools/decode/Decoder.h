#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "platform/Crypto.h"
#include "platform/KeyedHash.h"
#include "platform/TextCodec.h"
#include "tools/decode/ByteStreams.h"

namespace qrx {

// The support desk's decoder: `[--json | --diff [--json] | --html] [--mask | --mask-key KEY]
// [FILE ...]`, standard input for none or "-". `hash` makes the pseudonyms of --mask.
int RunDecoder(const std::vector<std::string>& args, ICryptoProvider& crypto, ITextCodec& codec,
               IKeyedHash& hash, const InputOpener& open, IByteOutput& out, std::ostream& err);

}  // namespace qrx
