#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace qrx {

// Undoes what editors and shells do to a data file on its way to support: a UTF-8 byte order
// mark (Notepad), UTF-16 with a byte order mark in either order (redirected by PowerShell 5),
// and a Ctrl-Z at the very end (copy /b). Hands on the bytes as the program wrote them, UTF-8
// for text that was converted.
class InputText {
  public:
    using Sink = std::function<void(const char* data, std::size_t size)>;
    explicit InputText(Sink sink) : sink_(std::move(sink)) {}

    void Feed(const char* data, std::size_t size);
    void Finish();

  private:
    enum class Kind { Unknown, Plain, Utf16Le, Utf16Be };
    void Emit(const char* data, std::size_t size);
    void Utf16(const char* data, std::size_t size);

    Sink sink_;
    Kind kind_ = Kind::Unknown;
    std::string head_;        // the first bytes, until they tell the kind
    bool heldCtrlZ_ = false;  // a Ctrl-Z that may be the last byte
    std::string oddByte_;     // half a UTF-16 code unit
    char16_t high_ = 0;       // a high surrogate waiting for its low half
    std::string converted_;
};

}  // namespace qrx
