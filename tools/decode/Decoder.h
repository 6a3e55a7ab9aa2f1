#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "platform/Crypto.h"
#include "platform/KeyedHash.h"
#include "platform/TextCodec.h"
#include "tools/decode/common/ByteStreams.h"
#include "tools/decode/inputs/Inputs.h"

namespace qrx {

// The support desk's decoder: `[--json | --csv | --summary | --diff [--json | --html] | --html]
// [--mask | --mask-key KEY] [FILE | FOLDER | ARCHIVE ...]` (DecoderUsage()), standard input for
// none or "-". `hash` makes the pseudonyms of --mask; `tree` finds folders and reads archives.
int RunDecoder(const std::vector<std::string>& args, ICryptoProvider& crypto, ITextCodec& codec,
               IKeyedHash& hash, const InputOpener& open, IFileTree& tree, IByteOutput& out,
               std::ostream& err);
// The same for callers that name only files.
int RunDecoder(const std::vector<std::string>& args, ICryptoProvider& crypto, ITextCodec& codec,
               IKeyedHash& hash, const InputOpener& open, IByteOutput& out, std::ostream& err);

}  // namespace qrx
