#pragma once

#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace qrx {

// What kind of failure it was, for a caller that acts on it (an existing file is not written
// over, a wrong password is tried no further); the text says it to the person.
enum class FailureKind {
    NotFound,     // no such file or folder
    Denied,       // no permission, or a read-only medium
    IsFolder,     // a folder where a file was wanted
    NotRegular,   // a device, a FIFO, a pipe, a link
    Exists,       // a new file was wanted and something is there
    Locked,       // another program holds it (a sharing or lock violation)
    TooLarge,     // beyond a limit of the system or of the decoder
    DiskFull,     // no space left
    Io,           // the medium failed
    NoMemory,     // the system's memory or handles ran out
    Password,     // an archive's password is missing or wrong
    Damaged,      // the bytes are not what their format says (cut short, a bad checksum)
    Unsupported,  // a format or method that is not read here
    WrongKey,     // the record does not decrypt with the program's key
    Other,
};

// Why something could not be done: its kind, the text shown to the desk and, for the engineer,
// the system's own code or words (ENOENT, ERROR_SHARING_VIOLATION, libarchive's message).
struct Failure {
    FailureKind kind = FailureKind::Other;
    std::string text;
    std::string code;

    // The text with the code at its end: "ファイルがありません (ENOENT)".
    std::string Message() const { return code.empty() ? text : text + " (" + code + ")"; }
    // The same failure said of a step: "開けません: ファイルがありません (ENOENT)".
    Failure In(const std::string& step) const { return {kind, step + ": " + text, code}; }
};

// A value, or the failure that took its place.
template <class T>
class [[nodiscard]] Result {
  public:
    template <class U>
    requires std::is_convertible_v<U&&, T> &&
        (!std::is_same_v<std::decay_t<U>, Failure>)Result(U&& value)
        : v_(std::in_place_index<0>, std::forward<U>(value)) {}
    Result(Failure failure) : v_(std::in_place_index<1>, std::move(failure)) {}

    explicit operator bool() const { return v_.index() == 0; }
    T& operator*() { return std::get<0>(v_); }
    const T& operator*() const { return std::get<0>(v_); }
    T* operator->() { return &std::get<0>(v_); }
    const T* operator->() const { return &std::get<0>(v_); }
    const Failure& failure() const { return std::get<1>(v_); }

  private:
    std::variant<T, Failure> v_;
};

// Done, or the failure.
template <>
class [[nodiscard]] Result<void> {
  public:
    Result() = default;
    Result(Failure failure) : f_(std::move(failure)) {}

    explicit operator bool() const { return !f_; }
    const Failure& failure() const { return *f_; }

  private:
    std::optional<Failure> f_;
};

using Done = Result<void>;

}  // namespace qrx
