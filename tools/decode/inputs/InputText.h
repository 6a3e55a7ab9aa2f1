#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace qrx {

// Undoes what editors, shells and mail do to a data file on its way to support: a UTF-8 byte
// order mark (Notepad), UTF-16 in either order with or without a byte order mark (redirected by
// PowerShell 5, saved as "Unicode"), a Ctrl-Z at the very end (copy /b), quoted-printable
// (forwarded as mail source: "=3D" for the Base64 padding, "=" at the end of a wrapped line) and
// "> " quoting (a reply). Hands on the bytes as the program wrote them, UTF-8 for text that was
// converted.
class InputText {
  public:
    using Sink = std::function<void(const char* data, std::size_t size)>;
    explicit InputText(Sink sink) : sink_(std::move(sink)) {}

    void Feed(const char* data, std::size_t size);
    void Finish();

  private:
    enum class Kind { Unknown, Plain, Utf16Le, Utf16Be };
    enum class Mail { Unknown, Plain, QuotedPrintable };
    void Emit(const char* data, std::size_t size);
    void Utf16(const char* data, std::size_t size);
    void Unmail(const char* data, std::size_t size);
    void Unquote(const char* data, std::size_t size);

    Sink sink_;
    Kind kind_ = Kind::Unknown;
    std::string head_;        // the first bytes, until they tell the kind
    bool heldCtrlZ_ = false;  // a Ctrl-Z that may be the last byte
    std::string oddByte_;     // half a UTF-16 code unit
    char16_t high_ = 0;       // a high surrogate waiting for its low half
    std::string converted_;
    Mail mail_ = Mail::Unknown;
    std::string mailHead_;   // the first text, until it tells whether it is quoted-printable
    bool lineStart_ = true;  // where a "> " of a quoted line may come
    bool afterQuote_ = false;
    std::string escape_;  // an "=" of quoted-printable and what followed it so far
    std::string unquoted_;
};

}  // namespace qrx
