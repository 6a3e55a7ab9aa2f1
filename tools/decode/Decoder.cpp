#include "tools/decode/Decoder.h"

#include <algorithm>
#include <map>
#include <ostream>

#include "tools/decode/DeskFiles.h"
#include "tools/decode/FileDecoder.h"
#include "tools/decode/Options.h"
#include "tools/decode/common/Escape.h"
#include "tools/decode/formats/Format.h"
#include "tools/decode/records/MaskMap.h"

#ifndef QRX_VERSION
#define QRX_VERSION "0"
#endif

namespace qrx {

namespace {

// Writes what is left; an output error overrides every other outcome.
int Close(Output& output, std::ostream& err, int status) {
    output.Flush();
    if (output.Failed()) {
        err << "QRX_PC_INFO_DECODE: 出力を書き込めません: " << output.Error().Message() << "\n";
        return kExitNotDone;
    }
    return status;
}

// Masked, a file given with an option is named by the option: its path may hold a name.
void OptionFileFailed(const DecoderOptions& o, std::string_view option, const std::string& path,
                      const std::string& error, std::ostream& err) {
    err << "QRX_PC_INFO_DECODE: " << (o.mask ? std::string(option) : Escaped(path)) << ": "
        << (o.mask ? error : Escaped(error)) << "\n";
}

// What the desk hands the decoder in small files beside the data files.
struct Secrets {
    std::vector<std::string> passwords;  // the archives', tried in order
    std::optional<std::string> words;    // the desk's own words to mask, one a line
};

// Reads the password, the words and the key that the options name in files, and refuses a key
// that names a file; false when one could not be had.
bool ReadSecrets(DecoderOptions& o, const InputOpener& open, IFileTree& tree, Secrets& secrets,
                 std::ostream& err) {
    // Each password file holds one password a line, as it is (spaces kept), empty lines skipped.
    for (const std::string& file : o.passwordFiles) {
        const Result<std::string> text = SmallFile(open, file, 64 * 1024);
        if (!text) {
            OptionFileFailed(o, "--password-file", file, text.failure().Message(), err);
            return false;
        }
        for (std::size_t at = 0; at < text->size();) {
            const std::size_t end = std::min(text->find('\n', at), text->size());
            std::string line = text->substr(at, end - at);
            if (line.ends_with('\r')) {
                line.pop_back();
            }
            if (!line.empty()) {
                secrets.passwords.push_back(std::move(line));
            }
            at = end + 1;
        }
        if (secrets.passwords.empty()) {
            OptionFileFailed(o, "--password-file", file, "パスワードが書かれていません", err);
            return false;
        }
    }
    if (o.maskWordsFile) {
        Result<std::string> words = SmallFile(open, *o.maskWordsFile, 1024 * 1024);
        if (!words) {
            OptionFileFailed(o, "--mask-words", *o.maskWordsFile, words.failure().Message(), err);
            return false;
        }
        secrets.words = std::move(*words);
    }
    if (o.maskKeyFile) {
        Result<std::string> key = FirstLine(open, *o.maskKeyFile);
        if (!key) {
            OptionFileFailed(o, "--mask-key-file", *o.maskKeyFile, key.failure().Message(), err);
            return false;
        }
        o.maskKey = std::move(*key);
    }
    // A file name where the key belongs is a slip (a key file meant, an argument missing): the
    // name would be the key, and the file would not be read.
    if (!o.maskKeyFile && o.maskKey &&
        (*o.maskKey == "-" || tree.KindOf(*o.maskKey) == IFileTree::Kind::Folder ||
         open(*o.maskKey))) {
        err << "QRX_PC_INFO_DECODE: --mask-key の鍵 " << Escaped(*o.maskKey)
            << " はファイルかフォルダーの名前です。鍵をファイルから読むときは "
               "--mask-key-file をお使いください\n";
        return false;
    }
    return true;
}

// The table of --mask-map: the file is made before anything is decoded (a table that cannot be
// kept stops the run) and written at the end.
struct MaskTable {
    std::map<std::string, std::string> pairs;
    std::unique_ptr<IByteOutput> file;
};

// The masker of --mask (null without it), with the desk's words and the table of --mask-map;
// false when the table's file cannot be made.
bool MakeMasker(const DecoderOptions& o, IKeyedHash& hash, IFileTree& tree, const Secrets& secrets,
                MaskTable& table, std::unique_ptr<Masker>& masker, std::ostream& err) {
    if (o.mask) {
        masker = std::make_unique<Masker>(o.maskKey ? *o.maskKey : Masker::RandomKey(), hash);
        if (secrets.words) {
            masker->SetWords(Lines(*secrets.words));
        }
    }
    if (o.maskMapFile) {
        Result<std::unique_ptr<IByteOutput>> file = tree.CreateNew(*o.maskMapFile);
        if (!file) {
            OptionFileFailed(o, "--mask-map", *o.maskMapFile, file.failure().Message(), err);
            return false;
        }
        table.file = std::move(*file);
        masker->KeepMap(&table.pairs);
    }
    return true;
}

// The format the options ask for; null when the file it would make is there already.
std::unique_ptr<IFormat> MakeFormat(const DecoderOptions& o, const InputOpener& open,
                                    IFileTree& tree, Output& output, std::ostream& err) {
    const bool several =
        o.files.size() > 1 ||
        (o.files[0] != "-" &&
         (IsArchiveName(o.files[0]) || tree.KindOf(o.files[0]) == IFileTree::Kind::Folder));
    if (o.formatFile && open(*o.formatFile)) {
        // Refused before the work: the file is made new at the end.
        OptionFileFailed(o, o.format->flag, *o.formatFile, "既にあるファイルには書きません", err);
        return nullptr;
    }
    FormatSettings settings{several, o.mask, {}};
    if (o.formatFile) {
        settings.create = [&tree, path = *o.formatFile] { return tree.CreateNew(path); };
    }
    return o.format->make(output, settings);
}

// Decodes the data files that the arguments stand for: files and standard input, the data
// files and archives below folders (by their content, whatever their names), archives' members.
class Arguments {
  public:
    Arguments(FileDecoder& decoder, const InputOpener& open, IFileTree& tree,
              const std::vector<std::string>& passwords, const InflateLimits& limits)
        : decoder_(decoder),
          open_(open),
          tree_(tree),
          passwords_(passwords),
          budget_{limits},
          head_(kHeadBytes) {}

    // Whether any argument stood for more than one data file.
    bool AnyMany() const {
        return std::any_of(counts_.begin(), counts_.end(), [](std::size_t n) { return n > 1; });
    }
    // Files in folders and members of archives that are not data files, sorted.
    std::vector<std::string> Skipped() const {
        std::vector<std::string> sorted = skipped_;
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }

    void DecodeAll(const std::vector<std::string>& files) {
        for (const auto& file : files) {
            count_ = 0;
            const bool go = file == "-"                                     ? File(file)
                            : tree_.KindOf(file) == IFileTree::Kind::Folder ? Folder(file)
                                                                            : Named(file);
            counts_.push_back(count_);
            if (!go) {
                break;
            }
        }
    }

  private:
    bool File(const std::string& path) {
        ++count_;
        const Result<std::unique_ptr<IByteInput>> input = open_(path);
        if (!input) {
            decoder_.Unreadable(path, input.failure().Message());
            return true;
        }
        return decoder_.Decode(decoder_.Shown(path), **input);
    }
    // What a file is by its first bytes.
    Result<Content> ContentOfFile(const std::string& path) {
        const Result<std::unique_ptr<IByteInput>> input = open_(path);
        if (!input) {
            return input.failure();
        }
        std::size_t size = 0;
        while (size < head_.size()) {
            const Result<std::size_t> got =
                (*input)->Read(head_.data() + size, head_.size() - size);
            if (!got) {
                return got.failure();
            }
            if (*got == 0) {
                break;
            }
            size += *got;
        }
        return ContentOf(std::string_view(head_.data(), size), decoder_.Lines());
    }
    // A file named on the command line: a file without records is said once, not line by line.
    bool Named(const std::string& file) {
        const Result<Content> content = ContentOfFile(file);
        if (!content) {
            decoder_.Unreadable(file, content.failure().Message());
            return true;
        }
        if (*content == Content::Archive) {
            return Archive(file);
        }
        if (*content == Content::Data || *content == Content::Records) {
            return File(file);
        }
        decoder_.Unreadable(
            file, *content == Content::Empty ? "記録がありません" : "データファイルではありません");
        return true;
    }
    // Every regular file below it that is a data file or an archive by its content, whatever
    // its name; a folder that cannot be read is named and the walk goes on.
    bool Folder(const std::string& folder) {
        const FolderContents below = FilesBelow(tree_, folder);
        for (const auto& [path, reason] : below.unreadable) {
            decoder_.Unreadable(path, reason.Message());
        }
        skipped_.insert(skipped_.end(), below.others.begin(), below.others.end());
        bool go = true;
        for (std::size_t n = 0; go && n < below.files.size(); ++n) {
            const std::string& path = below.files[n];
            const Result<Content> content = ContentOfFile(path);
            if (!content) {
                decoder_.Unreadable(path, content.failure().Message());
            } else if (*content == Content::Data) {
                go = File(path);
            } else if (*content == Content::Archive) {
                go = Archive(path);
            } else {
                skipped_.push_back(path);
            }
        }
        if (count_ == 0 && below.unreadable.empty() && go) {
            decoder_.Unreadable(folder, "データファイルがありません");
        }
        return go;
    }
    bool Archive(const std::string& archive) {
        bool go = true;
        std::string member;
        // A member is a data file by its content, like a file in a folder.
        const auto wanted = [&](const std::string& name, std::string_view head) {
            if (ContentOf(head, decoder_.Lines()) == Content::Data) {
                return true;
            }
            skipped_.push_back(archive + ":" + name);
            return false;
        };
        const Done read = tree_.ReadArchive(
            archive, passwords_, budget_, wanted,
            [&](const std::string& name, IByteInput& input) {
                ++count_;
                return go = decoder_.Decode(decoder_.Shown(archive + ":" + name), input);
            },
            member);
        if (!read && go) {
            decoder_.Unreadable(
                member.empty() ? archive : archive + ":" + member,
                decoder_.MaskedReason(read.failure().Message(), archive, "(圧縮ファイル)"));
        }
        return go;
    }

    FileDecoder& decoder_;
    const InputOpener& open_;
    IFileTree& tree_;
    const std::vector<std::string>& passwords_;
    InflateBudget budget_;  // of all archives of the run
    std::vector<char> head_;
    std::size_t count_ = 0;
    std::vector<std::size_t> counts_;  // the data files each argument stood for
    std::vector<std::string> skipped_;
};

}  // namespace

int RunDecoder(const std::vector<std::string>& args, ICryptoProvider& crypto, ITextCodec& codec,
               IKeyedHash& hash, const InputOpener& open, IByteOutput& out, std::ostream& err) {
    PlainFiles files;
    return RunDecoder(args, crypto, codec, hash, open, files, out, err);
}

int RunDecoder(const std::vector<std::string>& args, ICryptoProvider& crypto, ITextCodec& codec,
               IKeyedHash& hash, const InputOpener& open, IFileTree& tree, IByteOutput& out,
               std::ostream& err) {
    Result<DecoderOptions> parsed = ParseDecoderOptions(args);
    if (!parsed) {
        // One line that says what was wrong, and where the rest is: the help would scroll it away.
        err << "QRX_PC_INFO_DECODE: " << parsed.failure().Message()
            << "\n使い方は QRX_PC_INFO_DECODE --help で表示します\n";
        return kExitNotDone;
    }
    DecoderOptions& o = *parsed;
    Output output(out);
    if (o.help || o.version) {
        output.Text() +=
            o.help ? DecoderUsage() : std::string("QRX_PC_INFO_DECODE ") + QRX_VERSION + "\n";
        return Close(output, err, kExitDecoded);
    }
    if (o.unmaskMap) {
        return Close(output, err, Unmask(o, open, output, err));
    }
    Secrets secrets;
    MaskTable table;
    std::unique_ptr<Masker> masker;
    if (!ReadSecrets(o, open, tree, secrets, err) ||
        !MakeMasker(o, hash, tree, secrets, table, masker, err)) {
        return kExitNotDone;
    }
    const std::unique_ptr<IFormat> format = MakeFormat(o, open, tree, output, err);
    if (!format) {
        return kExitNotDone;
    }
    FileDecoder decoder(o, crypto, codec, std::move(masker), *format, output, err);
    Arguments arguments(decoder, open, tree, secrets.passwords, o.limits);
    arguments.DecodeAll(o.files);
    if (const auto& skipped = arguments.Skipped(); !skipped.empty()) {
        err << "QRX_PC_INFO_DECODE: データファイルではないファイル " << skipped.size()
            << " 個を読み飛ばしました" << (o.verbose ? ":" : " (名前は --verbose で表示します)")
            << "\n";
        for (std::size_t n = 0; o.verbose && n < skipped.size(); ++n) {
            err << "  " << Escaped(decoder.Shown(skipped[n])) << "\n";
        }
    }
    if (!decoder.Room()) {
        err << "QRX_PC_INFO_DECODE: " << decoder.Room().failure().Message() << "\n";
        return kExitNotDone;
    }
    if (o.Diff() && !output.Failed() && arguments.AnyMany()) {
        err << "QRX_PC_INFO_DECODE: --diff で比べるのは 1 つずつのデータファイルです。"
               "フォルダーや圧縮ファイルに複数入っているときは、そのファイルを指定してください\n";
        return Close(output, err, kExitNotDone);
    }
    int status = decoder.Status();
    if (!output.Failed()) {
        status = format->Finish(status);
        if (const Done room = format->Room(); !room) {
            err << "QRX_PC_INFO_DECODE: " << decoder.Masked(room.failure().Message()) << "\n";
            status = kExitNotDone;
        }
    }
    if (table.file) {
        const std::string text = MaskMapText(table.pairs);
        if (const Done written = table.file->Write(text.data(), text.size()); !written) {
            OptionFileFailed(o, "--mask-map", *o.maskMapFile, written.failure().Message(), err);
            status = kExitNotDone;
        }
    }
    return Close(output, err, status);
}

}  // namespace qrx
