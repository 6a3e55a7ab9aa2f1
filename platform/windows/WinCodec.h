#pragma once

#include "platform/TextCodec.h"

namespace qrx {

// Code page 932 through the system's converters, Base64 through the shared codec.
class WinCodec : public ITextCodec {
  public:
    Bytes ToShiftJis(const std::string& text) override;
    std::string FromShiftJis(const Bytes& bytes) override;
    std::string Base64Encode(const Bytes& bytes) override;
    Bytes Base64Decode(const std::string& text) override;
};

}  // namespace qrx
