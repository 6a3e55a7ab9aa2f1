#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/Result.h"

namespace qrx {

// A file or standard input, read as bytes.
class IByteInput {
  public:
    virtual ~IByteInput() = default;
    // Reads up to `capacity` bytes into `buffer`: how many it read, 0 at the end.
    virtual Result<std::size_t> Read(char* buffer, std::size_t capacity) = 0;
};

// Standard output, written as bytes.
class IByteOutput {
  public:
    virtual ~IByteOutput() = default;
    // Writes all of the bytes.
    virtual Done Write(const char* data, std::size_t size) = 0;
};

// Opens a file named on the command line ("-" for standard input).
using InputOpener = std::function<Result<std::unique_ptr<IByteInput>>(const std::string& path)>;

// Exit statuses of the decoder.
inline constexpr int kExitDecoded = 0;  // every line decoded and all output written
inline constexpr int kExitBadLine = 1;  // some line could not be decoded
inline constexpr int kExitNotDone = 2;  // usage, input or output errors

}  // namespace qrx
