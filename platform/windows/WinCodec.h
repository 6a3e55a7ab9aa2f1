#pragma once

#include "platform/TextCodec.h"

namespace qrx {

// Code page 932 through the system's converters.
class WinCodec : public ITextCodec {
  public:
    Bytes ToShiftJis(const std::string& text) override;
    std::string FromShiftJis(const Bytes& bytes) override;
};

}  // namespace qrx
