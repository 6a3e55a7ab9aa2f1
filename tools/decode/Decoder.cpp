#include "tools/decode/Decoder.h"

#include <algorithm>
#include <ostream>

#include "tools/decode/FileDecoder.h"
#include "tools/decode/Options.h"
#include "tools/decode/common/Escape.h"
#include "tools/decode/formats/Format.h"

#ifndef QRX_VERSION
#define QRX_VERSION "0"
#endif

namespace qrx {

namespace {

// Writes what is left; an output error overrides every other outcome.
int Close(Output& output, std::ostream& err, int status) {
    output.Flush();
    if (output.Failed()) {
        err << "QRX_PC_INFO_DECODE: 出力を書き込めません: " << output.Error() << "\n";
        return kExitNotDone;
    }
    return status;
}

// The first line of a small file, without its line end: the archives' password, the key.
std::optional<std::string> FirstLine(const InputOpener& open, const std::string& path,
                                     std::ostream& err) {
    std::string error;
    std::string text;
    if (const std::unique_ptr<IByteInput> input = open(path, error)) {
        char buffer[4096];
        std::size_t got = 0;
        do {
            if (!input->Read(buffer, sizeof buffer, got, error)) {
                break;
            }
            text.append(buffer, got);
        } while (got > 0 && text.find_first_of("\r\n") == std::string::npos && text.size() < 4096);
    }
    if (error.empty()) {
        if (text.starts_with("\xEF\xBB\xBF")) {
            text.erase(0, 3);
        }
        text.resize(std::min(text.find_first_of("\r\n"), text.size()));
        if (!text.empty()) {
            return text;
        }
        error = "1 行目が空です";
    }
    err << "QRX_PC_INFO_DECODE: " << Escaped(path) << ": " << error << "\n";
    return std::nullopt;
}

// Reads the password and the key that the options name in files, and refuses a key that names
// a file; false when one could not be had.
bool ReadSecrets(DecoderOptions& o, const InputOpener& open, IFileTree& tree,
                 std::optional<std::string>& password, std::ostream& err) {
    if (o.passwordFile && !(password = FirstLine(open, *o.passwordFile, err))) {
        return false;
    }
    if (o.maskKeyFile) {
        return (o.maskKey = FirstLine(open, *o.maskKeyFile, err)).has_value();
    }
    // A file name where the key belongs is a slip (a key file meant, an argument missing): the
    // name would be the key, and the file would not be read.
    std::string ignored;
    if (o.maskKey && (*o.maskKey == "-" || tree.KindOf(*o.maskKey) == IFileTree::Kind::Folder ||
                      open(*o.maskKey, ignored))) {
        err << "QRX_PC_INFO_DECODE: --mask-key の鍵 " << Escaped(*o.maskKey)
            << " はファイルかフォルダーの名前です。鍵をファイルから読むときは "
               "--mask-key-file をお使いください\n";
        return false;
    }
    return true;
}

// Decodes the data files that the arguments stand for: files, standard input, the files below
// folders and in archives.
class Arguments {
  public:
    Arguments(FileDecoder& decoder, const InputOpener& open, IFileTree& tree,
              const std::optional<std::string>& password)
        : decoder_(decoder), open_(open), tree_(tree), password_(password) {}

    // Whether any argument stood for more than one data file.
    bool AnyMany() const {
        return std::any_of(counts_.begin(), counts_.end(), [](std::size_t n) { return n > 1; });
    }

    void DecodeAll(const std::vector<std::string>& files) {
        for (const auto& file : files) {
            count_ = 0;
            const bool go = file != "-" && tree_.KindOf(file) == IFileTree::Kind::Folder
                                ? Folder(file)
                            : file != "-" && IsArchiveName(file) ? Archive(file)
                                                                 : File(file);
            counts_.push_back(count_);
            if (!go) {
                break;
            }
        }
    }

  private:
    bool File(const std::string& path) {
        ++count_;
        std::string error;
        const std::unique_ptr<IByteInput> input = open_(path, error);
        if (!input) {
            decoder_.Unreadable(path, error);
            return true;
        }
        return decoder_.Decode(decoder_.Shown(path), *input);
    }
    bool Folder(const std::string& folder) {
        std::vector<std::string> found;
        std::string failed, error;
        if (!DataFilesBelow(tree_, folder, found, failed, error)) {
            decoder_.Unreadable(failed, error);
        } else if (found.empty()) {
            decoder_.Unreadable(folder, "データファイル (PC_INFO_*.dat) がありません");
        }
        return std::all_of(found.begin(), found.end(), [&](const auto& f) { return File(f); });
    }
    bool Archive(const std::string& archive) {
        bool go = true;
        std::string member;
        const std::string error = tree_.ReadArchive(
            archive, password_, kMaxMemberBytes, IsDataFileName,
            [&](const std::string& name, IByteInput& input) {
                ++count_;
                return go = decoder_.Decode(decoder_.Shown(archive + ":" + name), input);
            },
            member);
        if (!error.empty() && go) {
            decoder_.Unreadable(member.empty() ? archive : archive + ":" + member,
                                decoder_.MaskedReason(error, archive, "(圧縮ファイル)"));
        }
        return go;
    }

    FileDecoder& decoder_;
    const InputOpener& open_;
    IFileTree& tree_;
    const std::optional<std::string>& password_;
    std::size_t count_ = 0;
    std::vector<std::size_t> counts_;  // the data files each argument stood for
};

bool SeveralFiles(const DecoderOptions& o, IFileTree& tree) {
    return o.files.size() > 1 ||
           (o.files[0] != "-" &&
            (IsArchiveName(o.files[0]) || tree.KindOf(o.files[0]) == IFileTree::Kind::Folder));
}

}  // namespace

int RunDecoder(const std::vector<std::string>& args, ICryptoProvider& crypto, ITextCodec& codec,
               IKeyedHash& hash, const InputOpener& open, IByteOutput& out, std::ostream& err) {
    PlainFiles files;
    return RunDecoder(args, crypto, codec, hash, open, files, out, err);
}

int RunDecoder(const std::vector<std::string>& args, ICryptoProvider& crypto, ITextCodec& codec,
               IKeyedHash& hash, const InputOpener& open, IFileTree& tree, IByteOutput& out,
               std::ostream& err) {
    DecoderOptions o;
    if (const std::string wrong = ParseDecoderOptions(args, o); !wrong.empty()) {
        err << "QRX_PC_INFO_DECODE: " << wrong << "\n" << DecoderUsage();
        return kExitNotDone;
    }
    Output output(out);
    if (o.help || o.version) {
        output.Text() +=
            o.help ? DecoderUsage() : std::string("QRX_PC_INFO_DECODE ") + QRX_VERSION + "\n";
        return Close(output, err, kExitDecoded);
    }
    std::optional<std::string> password;
    if (!ReadSecrets(o, open, tree, password, err)) {
        return kExitNotDone;
    }
    const std::unique_ptr<IFormat> format = o.format->make(output, {SeveralFiles(o, tree), o.mask});
    FileDecoder decoder(o, crypto, codec, hash, *format, output, err);
    Arguments arguments(decoder, open, tree, password);
    arguments.DecodeAll(o.files);
    if (!decoder.Full().empty()) {
        err << "QRX_PC_INFO_DECODE: " << decoder.Full() << "\n";
        return kExitNotDone;
    }
    if (o.Diff() && !output.Failed() && arguments.AnyMany()) {
        err << "QRX_PC_INFO_DECODE: --diff で比べるのは 1 つずつのデータファイルです。"
               "フォルダーや圧縮ファイルに複数入っているときは、そのファイルを指定してください\n";
        return Close(output, err, kExitNotDone);
    }
    const int status = output.Failed() ? decoder.Status() : format->Finish(decoder.Status());
    return Close(output, err, status);
}

}  // namespace qrx
