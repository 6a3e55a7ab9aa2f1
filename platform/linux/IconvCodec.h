#pragma once

#include <iconv.h>

#include "platform/TextCodec.h"

namespace qrx {

// Code page 932 through glibc's iconv ("CP932", which maps "\", "～", "①" and "髙" as Windows
// does).
class IconvCodec : public ITextCodec {
  public:
    IconvCodec();
    ~IconvCodec() override;
    IconvCodec(const IconvCodec&) = delete;
    IconvCodec& operator=(const IconvCodec&) = delete;

    Bytes ToShiftJis(const std::string& text) override;
    std::string FromShiftJis(const Bytes& bytes) override;

  private:
    iconv_t toCp932_;
    iconv_t fromCp932_;
};

}  // namespace qrx
