#pragma once

#include <string>
#include <string_view>

#include "cipher/clsCipher.h"
#include "platform/Crypto.h"
#include "platform/TextCodec.h"
#include "platform/Windowing.h"

namespace qrx {

// What one line of a data file holds.
struct DecodedLine {
    enum class Kind { Record, Unencrypted, Failed };
    Kind kind = Kind::Failed;
    std::string text;    // the record text (Record, Unencrypted)
    std::string reason;  // why the line could not be decoded (Failed)
};

// Turns one data-file line back into its record text with the program's key and IV. A failure
// is reported in the result, never as text that looks like a record.
class LineDecoder {
  public:
    LineDecoder(ICryptoProvider& crypto, ITextCodec& codec);

    DecodedLine Decode(std::string_view line);

  private:
    // The cipher shows its failures as message boxes; here they are kept as the reason.
    struct Capture : IWindowing {
        std::string last;
        void ShowMainWindow(const WindowLayout&, IWindowEvents&) override {}
        void SetButtonEnabled(ButtonId, bool) override {}
        void ProcessPendingEvents() override {}
        int ShowMessage(const std::string& text, int) override {
            last = text;
            return kIdOk;
        }
        void SetBusy(bool) override {}
        void EndProgram() override {}
    };

    ITextCodec& codec_;
    Capture capture_;
    clsCipher cipher_;
    Bytes key_;
    Bytes iv_;
};

// Whether a line is a record as the program writes it before encryption: a class header or a
// property name, a TAB and a value. Base64 has neither a TAB nor a hyphen.
bool LooksLikeRecord(std::string_view line);

}  // namespace qrx
