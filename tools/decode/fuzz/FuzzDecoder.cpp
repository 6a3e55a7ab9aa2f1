// libFuzzer target: the decoder and the Base64 and code page 932 codecs on any bytes; the
// grouping, comparing, masking and HTML of the support desk's reports on the same bytes taken as
// records, one per line.
//
// Besides "no crash", it checks what the support desk relies on: text output carries no control
// character but TAB and the line end, and every line it shows as a record has a record's shape.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "platform/AppError.h"
#include "platform/Base64.h"
#include "platform/linux/IconvCodec.h"
#include "platform/linux/MbedTlsCrypto.h"
#include "platform/linux/MbedTlsKeyedHash.h"
#include "tools/decode/Decoder.h"
#include "tools/decode/formats/Html.h"
#include "tools/decode/records/Diff.h"
#include "tools/decode/records/LineDecoder.h"
#include "tools/decode/records/Mask.h"
#include "tools/decode/records/RecordModel.h"

namespace {

struct Input : qrx::IByteInput {
    const std::string& data;
    std::size_t at = 0;
    explicit Input(const std::string& d) : data(d) {}
    qrx::Result<std::size_t> Read(char* buffer, std::size_t capacity) override {
        // Uneven pieces, so that lines and CR LF pairs fall across reads.
        const std::size_t got = std::min({capacity, data.size() - at, at % 5 + 1});
        std::copy_n(data.data() + at, got, buffer);
        at += got;
        return got;
    }
};

struct Output : qrx::IByteOutput {
    std::string text;
    qrx::Done Write(const char* data, std::size_t size) override {
        text.append(data, size);
        return {};
    }
};

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

bool ValidHtmlText(const std::string& s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == '<' || c == '>' || (c < 0x20 && c != '\t') || c == 0x7F) {
            return false;
        }
    }
    // Valid UTF-8 with nothing left to escape: escaping again changes only the "&".
    std::string t = s;
    std::replace(t.begin(), t.end(), '&', 'a');
    return qrx::HtmlEscape(t) == t;
}

// Every record masked keeps its name and the shape of its address; the records grouped compare
// equal to themselves and to their own masked copy in structure; the page holds no markup of
// the input.
qrx::MbedTlsKeyedHash hash;

// The records of a text placed and built as the decoder does.
struct Builder {
    explicit Builder(qrx::Collection& collection) : c(collection) {}
    qrx::Collection& c;
    qrx::RecordPlacer placer;
    qrx::PlacedRecord placed;
    qrx::ClassBuilder builder{
        [this](qrx::ClassRecords&& r, std::size_t) { c.classes.push_back(std::move(r)); }};
    void Add(const std::string& record) {
        if (qrx::IsRecordText(record) && placer.Place(record, false, 1, placed)) {
            builder.Add(placed);
        }
    }
};

void Reports(const std::string& text) {
    static const qrx::Masker masker("fuzz", hash);
    qrx::Collection plain;
    qrx::Collection masked;
    Builder b(plain);
    Builder m(masked);
    std::istringstream lines(text);
    for (std::string r; std::getline(lines, r);) {
        const std::string x = masker.Record(r);
        const auto tab = r.find('\t');
        if (x != masker.Record(r) || x.substr(0, tab) != r.substr(0, tab)) {
            std::abort();
        }
        if (tab != std::string::npos) {
            const std::string name = r.substr(0, tab);
            const std::string value = r.substr(tab + 1);
            const std::string out = x.substr(tab + 1);
            unsigned char bytes[16];
            if ((name == "MACAddress" && qrx::ParseMac(value, bytes) &&
                 !qrx::ParseMac(out, bytes)) ||
                (name == "IPAddress" && qrx::ParseIpv4(value, bytes) &&
                 !qrx::ParseIpv4(out, bytes)) ||
                (name == "IPAddress" && qrx::ParseIpv6(value, bytes) &&
                 !qrx::ParseIpv6(out.substr(0, out.find('%')), bytes))) {
                std::abort();
            }
        }
        b.Add(r);
        m.Add(x);
    }
    b.builder.Finish();
    m.builder.Finish();
    if (!qrx::Compare(plain, plain).empty()) {
        std::abort();
    }
    for (const auto& change : qrx::Compare(plain, masked)) {
        if (change.kind != qrx::ClassChange::Kind::Changed) {
            std::abort();  // masking never adds or removes a class
        }
    }
    std::ostringstream page;
    qrx::WriteHtml(page, {plain, masked}, true);
    if (page.str().find("<script") != std::string::npos || !ValidHtmlText(qrx::HtmlEscape(text))) {
        std::abort();
    }
    (void)qrx::CollectionTime(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static qrx::MbedTlsCrypto crypto;
    static qrx::IconvCodec codec;
    static qrx::LineDecoder decoder(crypto, codec);
    const std::string text(reinterpret_cast<const char*>(data), size);
    const qrx::Bytes bytes(data, data + size);

    const qrx::DecodedLine line = decoder.Decode(text);
    Check(line.kind != qrx::DecodedLine::Kind::Failed || !line.reason.empty());
    Check(line.kind == qrx::DecodedLine::Kind::Failed ||
          qrx::ShapeOfRecord(line.text) != qrx::RecordShape::None);
    Check(line.kind == qrx::DecodedLine::Kind::Failed ||
          line.unknown == !qrx::IsRecordText(line.text));

    Output out;
    std::ostringstream err;
    const int status = qrx::RunDecoder(
        {}, crypto, codec, hash,
        [&](const std::string&) -> qrx::Result<std::unique_ptr<qrx::IByteInput>> {
            return std::make_unique<Input>(text);
        },
        out, err);
    Check(status == 0 || status == 1);
    std::istringstream shown(out.text);
    for (std::string record; std::getline(shown, record);) {
        Check(std::none_of(record.begin(), record.end(), [](char c) {
            return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F;
        }));
        for (std::size_t i = 0; i + 1 < record.size(); ++i) {
            const auto next = static_cast<unsigned char>(record[i + 1]);
            Check(static_cast<unsigned char>(record[i]) != 0xC2 || next >= 0xA0 || next < 0x80);
        }
        if (record.starts_with("(未暗号化) ")) {
            record.erase(0, std::string("(未暗号化) ").size());
        }
        if (record.starts_with(qrx::kUnknownMark)) {
            record.erase(0, qrx::kUnknownMark.size());
        }
        Check(qrx::ShapeOfRecord(record) != qrx::RecordShape::None);
    }

    try {
        const qrx::Bytes decoded = qrx::Base64Decode(text);
        if (qrx::Base64Decode(qrx::Base64Encode(decoded)) != decoded) {
            std::abort();
        }
    } catch (const qrx::AppError&) {
    }
    if (qrx::Base64Decode(qrx::Base64Encode(bytes)) != bytes) {
        std::abort();
    }
    const std::string utf8 = codec.FromShiftJis(bytes);
    const qrx::Bytes back = codec.ToShiftJis(utf8);
    (void)back;
    (void)codec.ToShiftJis(text);
    Reports(text);
    return 0;
}
