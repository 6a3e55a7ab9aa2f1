#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace qrx {

// A file or standard input, read as bytes.
class IByteInput {
  public:
    virtual ~IByteInput() = default;
    // Reads up to `capacity` bytes into `buffer`; `got` is 0 at the end. False on a read error,
    // with the system's reason in `error`.
    virtual bool Read(char* buffer, std::size_t capacity, std::size_t& got, std::string& error) = 0;
};

// Standard output, written as bytes.
class IByteOutput {
  public:
    virtual ~IByteOutput() = default;
    // Writes all of the bytes; false on a write error, with the system's reason in `error`.
    virtual bool Write(const char* data, std::size_t size, std::string& error) = 0;
};

// Opens a file named on the command line ("-" for standard input); null with the system's
// reason in `error` when it cannot be opened.
using InputOpener =
    std::function<std::unique_ptr<IByteInput>(const std::string& path, std::string& error)>;

// Exit statuses of the decoder.
inline constexpr int kExitDecoded = 0;  // every line decoded and all output written
inline constexpr int kExitBadLine = 1;  // some line could not be decoded
inline constexpr int kExitNotDone = 2;  // usage, input or output errors

}  // namespace qrx
