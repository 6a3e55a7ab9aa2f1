#include "tools/decode/Decoder.h"

#include <algorithm>
#include <ostream>

#include "tools/decode/Escape.h"
#include "tools/decode/Format.h"
#include "tools/decode/InputText.h"
#include "tools/decode/LineDecoder.h"
#include "tools/decode/Mask.h"
#include "tools/decode/Options.h"
#include "tools/decode/RecordModel.h"
#include "tools/decode/RecordReader.h"

#ifndef QRX_VERSION
#define QRX_VERSION "0"
#endif

namespace qrx {

namespace {

constexpr std::size_t kInputChunk = 64 * 1024;

// Writes what is left; an output error overrides every other outcome.
int Close(Output& output, std::ostream& err, int status) {
    output.Flush();
    if (output.Failed()) {
        err << "QRX_PC_INFO_DECODE: 出力を書き込めません: " << output.Error() << "\n";
        return kExitNotDone;
    }
    return status;
}

std::unique_ptr<IFormat> MakeFormat(const DecoderOptions& o, Output& output) {
    switch (o.output) {
        case DecoderOptions::Output::Json:
            return MakeJsonFormat(output);
        case DecoderOptions::Output::DiffText:
            return MakeDiffTextFormat(output);
        case DecoderOptions::Output::DiffJson:
            return MakeDiffJsonFormat(output);
        case DecoderOptions::Output::Html:
            return MakeHtmlFormat(output, o.mask);
        case DecoderOptions::Output::Text:
            break;
    }
    return MakeTextFormat(output, o.files.size() > 1);
}

}  // namespace

int RunDecoder(const std::vector<std::string>& args, ICryptoProvider& crypto, ITextCodec& codec,
               IKeyedHash& hash, const InputOpener& open, IByteOutput& out, std::ostream& err) {
    DecoderOptions o;
    if (const std::string wrong = ParseDecoderOptions(args, o); !wrong.empty()) {
        err << "QRX_PC_INFO_DECODE: " << wrong << "\n" << kDecoderUsage;
        return kExitNotDone;
    }
    Output output(out);
    if (o.help || o.version) {
        output.Text() += o.help ? std::string(kDecoderUsage)
                                : std::string("QRX_PC_INFO_DECODE ") + QRX_VERSION + "\n";
        return Close(output, err, kExitDecoded);
    }
    std::unique_ptr<Masker> masker;
    if (o.mask) {
        masker = std::make_unique<Masker>(o.maskKey ? *o.maskKey : Masker::RandomKey(), hash);
    }
    const std::unique_ptr<IFormat> format = MakeFormat(o, output);
    LineDecoder decoder(crypto, codec);
    RecordPlacer placer;
    PlacedRecord placed;
    std::string masked;
    int status = kExitDecoded;
    std::string full;  // why the format can take no more
    std::vector<char> chunk(kInputChunk);
    for (const auto& file : o.files) {
        const std::string name = file == "-" ? "(標準入力)" : file;
        const std::string shownName = Escaped(name);
        std::string error;
        const std::unique_ptr<IByteInput> input = open(file, error);
        if (!input) {
            err << Escaped(file) << ": " << error << "\n";
            status = kExitNotDone;
            format->BeginFile(name, false);
            format->Failure(0, error);
            format->EndFile();
            continue;
        }
        format->BeginFile(name, true);
        placer.BeginFile();
        const auto fail = [&](std::size_t line, const std::string& reason) {
            // One piece, so that an unbuffered stream writes it at once.
            err << shownName + ":" + std::to_string(line) + ": " + Escaped(reason) + "\n";
            status = std::max(status, kExitBadLine);
            format->Failure(line, reason);
        };
        RecordReader reader(decoder, [&](std::size_t line, const DecodedLine& d) {
            if (d.kind == DecodedLine::Kind::Failed) {
                if (!d.unknownClass.empty()) {
                    placer.UnknownClass(d.unknownClass);
                }
                return fail(line, d.reason);
            }
            const bool plain = d.kind == DecodedLine::Kind::Unencrypted;
            if (std::string why = placer.Place(d.text, plain, line, placed); !why.empty()) {
                return fail(line, why);
            }
            if (masker && placed.kind == PlacedRecord::Kind::Value) {
                masked = masker->Record(d.text);
                placed.text = masked;
                placed.property = placed.text.substr(0, placed.property.size());
                placed.value = placed.text.substr(placed.property.size() + 1);
            }
            format->Record(placed);
        });
        InputText text([&](const char* data, std::size_t size) { reader.Feed(data, size); });
        for (;;) {
            std::size_t got = 0;
            if (!input->Read(chunk.data(), chunk.size(), got, error)) {
                err << shownName << ": " << error << "\n";
                status = kExitNotDone;
                format->Failure(0, error);
                break;
            }
            if (got == 0 || output.Failed() || !(full = format->Full()).empty()) {
                break;
            }
            text.Feed(chunk.data(), got);
        }
        if (output.Failed() || !full.empty()) {
            break;  // reading stopped in the file, maybe within a line that is not wrong
        }
        text.Finish();
        reader.Finish();
        format->EndFile();
        if (output.Failed() || !(full = format->Full()).empty()) {
            break;
        }
    }
    if (!full.empty()) {
        err << "QRX_PC_INFO_DECODE: " << full << "\n";
        return kExitNotDone;
    }
    if (!output.Failed()) {
        status = format->Finish(status);
    }
    return Close(output, err, status);
}

}  // namespace qrx
