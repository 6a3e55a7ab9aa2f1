#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace qrx {

// The error value that travels from a failing operation to its caller. Platform objects raise it
// too, with their own numbers, sources and descriptions.
class AppError : public std::runtime_error {
  public:
    AppError(std::int32_t number, std::string source, std::string description)
        : std::runtime_error(source + ": " + description),
          Number(number),
          Source(std::move(source)),
          Description(std::move(description)) {}

    std::int32_t Number;
    std::string Source;
    std::string Description;
};

// Reinterprets a 32-bit code such as an HRESULT (0x80041002) as the signed number an AppError
// carries.
constexpr std::int32_t ToSigned(std::uint32_t code) {
    return static_cast<std::int32_t>(code);
}

}  // namespace qrx
