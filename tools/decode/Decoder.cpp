#include "tools/decode/Decoder.h"

#include <algorithm>
#include <ostream>

#include "tools/decode/DeskFiles.h"
#include "tools/decode/Options.h"
#include "tools/decode/common/Escape.h"
#include "tools/decode/formats/Format.h"
#include "tools/decode/inputs/InputText.h"
#include "tools/decode/inputs/Inputs.h"
#include "tools/decode/inputs/RecordReader.h"
#include "tools/decode/records/LineDecoder.h"
#include "tools/decode/records/Mask.h"
#include "tools/decode/records/MaskMap.h"
#include "tools/decode/records/RecordModel.h"

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
        // One line that says what was wrong, and where the rest is: the help would scroll it away.
        err << "QRX_PC_INFO_DECODE: " << wrong
            << "\n使い方は QRX_PC_INFO_DECODE --help で表示します\n";
        return kExitNotDone;
    }
    Output output(out);
    if (o.help || o.version) {
        output.Text() +=
            o.help ? DecoderUsage() : std::string("QRX_PC_INFO_DECODE ") + QRX_VERSION + "\n";
        return Close(output, err, kExitDecoded);
    }
    if (o.unmaskMap) {
        return Close(output, err, Unmask(o, open, output, err));
    }
    // Masked, a file given with an option is named by the option: its path may hold a name.
    const auto optionFile = [&](const char* option, const std::string& path,
                                const std::string& error) {
        err << "QRX_PC_INFO_DECODE: " << (o.mask ? std::string(option) : Escaped(path)) << ": "
            << (o.mask ? std::string(error) : Escaped(error)) << "\n";
        return kExitNotDone;
    };
    // Each password file holds one password a line, as it is (spaces kept), empty lines skipped.
    std::vector<std::string> passwords;
    std::string optionError;
    for (const std::string& file : o.passwordFiles) {
        const std::optional<std::string> text = SmallFile(open, file, 64 * 1024, optionError);
        if (!text) {
            return optionFile("--password-file", file, optionError);
        }
        for (std::size_t at = 0; at < text->size();) {
            const std::size_t end = std::min(text->find('\n', at), text->size());
            std::string line = text->substr(at, end - at);
            if (line.ends_with('\r')) {
                line.pop_back();
            }
            if (!line.empty()) {
                passwords.push_back(std::move(line));
            }
            at = end + 1;
        }
        if (passwords.empty()) {
            return optionFile("--password-file", file, "パスワードが書かれていません");
        }
    }
    std::optional<std::string> words;
    if (o.maskWordsFile && !(words = SmallFile(open, *o.maskWordsFile, 1024 * 1024, optionError))) {
        return optionFile("--mask-words", *o.maskWordsFile, optionError);
    }
    if (o.maskKeyFile) {
        o.maskKey = FirstLine(open, *o.maskKeyFile, optionError);
        if (!o.maskKey) {
            return optionFile("--mask-key-file", *o.maskKeyFile, optionError);
        }
    } else if (o.maskKey) {
        // A file name where the key belongs is a slip (a key file meant, an argument missing):
        // the name would be the key, and the file would not be read.
        std::string ignored;
        if (*o.maskKey == "-" || tree.KindOf(*o.maskKey) == IFileTree::Kind::Folder ||
            open(*o.maskKey, ignored)) {
            err << "QRX_PC_INFO_DECODE: --mask-key の鍵 " << Escaped(*o.maskKey)
                << " はファイルかフォルダーの名前です。鍵をファイルから読むときは "
                   "--mask-key-file をお使いください\n";
            return kExitNotDone;
        }
    }
    struct HeldLine {
        std::size_t line;
        DecodedLine decoded;
    };
    std::vector<HeldLine> held;
    std::unique_ptr<Masker> masker;
    std::map<std::string, std::string> map;
    std::unique_ptr<IByteOutput> mapFile;
    if (o.mask) {
        masker = std::make_unique<Masker>(o.maskKey ? *o.maskKey : Masker::RandomKey(), hash);
        if (words) {
            masker->SetWords(Lines(*words));
        }
    }
    if (o.maskMapFile) {
        // Made before anything is decoded: a table that cannot be kept stops the run.
        if (!(mapFile = tree.CreateNew(*o.maskMapFile, optionError))) {
            return optionFile("--mask-map", *o.maskMapFile, optionError);
        }
        masker->KeepMap(&map);
    }
    // Masked, files are shown without their folders and personal names, reasons without them too.
    MaskedFileNames maskedNames;
    const auto shown = [&](const std::string& name) {
        if (!o.mask) {
            return name == "-" ? std::string("(標準入力)") : name;
        }
        return maskedNames(name, name == "-");
    };
    const auto shownReason = [&](std::string reason, const std::string& name,
                                 const std::string& as) {
        for (auto at = o.mask && !name.empty() ? reason.find(name) : std::string::npos;
             at != std::string::npos; at = reason.find(name, at + as.size())) {
            reason.replace(at, name.size(), as);
        }
        return reason;
    };
    const bool several =
        o.files.size() > 1 ||
        (o.files[0] != "-" &&
         (IsArchiveName(o.files[0]) || tree.KindOf(o.files[0]) == IFileTree::Kind::Folder));
    if (std::string ignored; o.formatFile && open(*o.formatFile, ignored)) {
        // Refused before the work: the file is made new at the end.
        return optionFile(std::string(o.format->flag).c_str(), *o.formatFile,
                          "既にあるファイルには書きません");
    }
    FormatSettings settings{several, o.mask, {}};
    if (o.formatFile) {
        settings.create = [&tree, path = *o.formatFile](std::string& why) {
            return tree.CreateNew(path, why);
        };
    }
    const std::unique_ptr<IFormat> format = o.format->make(output, settings);
    LineDecoder decoder(crypto, codec);
    RecordPlacer placer;
    PlacedRecord placed;
    std::string masked;
    int status = kExitDecoded;
    std::string full;  // why the format can take no more
    std::vector<char> chunk(kInputChunk);

    // A file, a folder or an archive that could not be read, as a whole. `path` is the name it
    // was found by, which the reason may mention.
    const auto unreadable = [&](const std::string& path, const std::string& reason) {
        const std::string name = shown(path);
        const std::string error = masker ? masker->Words(shownReason(reason, path, name)) : reason;
        err << Escaped(name) << ": " << Escaped(error) << "\n";
        status = kExitNotDone;
        format->BeginFile(name, false);
        format->Failure(0, error);
        format->EndFile();
    };
    // Decodes one data file; false when no more output can be written.
    const auto decode = [&](const std::string& name, IByteInput& input) {
        const std::string shownName = Escaped(name);
        std::string error;
        format->BeginFile(name, true);
        placer.BeginFile();
        const auto fail = [&](std::size_t line, const std::string& why) {
            // A reason may quote the file (a class name): masked like a value.
            const std::string reason = masker ? masker->Value("", why) : why;
            // One piece, so that an unbuffered stream writes it at once.
            err << shownName + ":" + std::to_string(line) + ": " + Escaped(reason) + "\n";
            status = std::max(status, kExitBadLine);
            format->Failure(line, reason);
        };
        const auto handle = [&](std::size_t line, const DecodedLine& d) {
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
        };
        // Masking learns the whole file (its host name and serial numbers, which come late)
        // before it masks any of it: the lines are held, at most kMaxCollectedBytes of them.
        held.clear();
        std::size_t heldBytes = 0;
        bool tooLarge = false;
        RecordReader reader(decoder, [&](std::size_t line, const DecodedLine& d) {
            if (!masker) {
                return handle(line, d);
            }
            heldBytes += sizeof(HeldLine) + d.text.size() + d.reason.size();
            if (tooLarge || heldBytes > kMaxCollectedBytes) {
                tooLarge = true;
                held.clear();
                return;
            }
            held.push_back({line, d});
        });
        InputText text([&](const char* data, std::size_t size) { reader.Feed(data, size); });
        // Each file is capped like an archive's member: a data file is a few KB.
        for (std::size_t total = 0;;) {
            std::size_t got = 0;
            const bool read = input.Read(chunk.data(), chunk.size(), got, error);
            if (read && (total += got) > kMaxMemberBytes) {
                error = std::to_string(kMaxMemberBytes / 1024 / 1024) +
                        " MiB を超えるため、それより先は読みません (データファイルは数 KB です)";
            }
            if (!read || total > kMaxMemberBytes) {
                err << shownName << ": " << Escaped(error) << "\n";
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
            return false;  // reading stopped in the file, maybe within a line that is not wrong
        }
        text.Finish();
        reader.Finish();
        if (tooLarge) {
            const std::string reason = "--mask で扱えるのは 1 ファイル " +
                                       std::to_string(kMaxCollectedBytes / 1024 / 1024) +
                                       " MiB までです (1 回の収集は数 KB です)";
            err << shownName << ": " << reason << "\n";
            status = kExitNotDone;
            format->Failure(0, reason);
        } else if (masker) {
            masker->ForgetLearned();
            for (const auto& h : held) {
                if (h.decoded.kind != DecodedLine::Kind::Failed) {
                    masker->Learn(h.decoded.text);
                }
            }
            for (const auto& h : held) {
                if (h.decoded.kind != DecodedLine::Kind::Failed) {
                    masker->LearnInside(h.decoded.text);
                }
            }
            for (const auto& h : held) {
                handle(h.line, h.decoded);
                if (output.Failed()) {
                    return false;
                }
                output.Commit();
            }
            held.clear();
        }
        format->EndFile();
        return !output.Failed() && (full = format->Full()).empty();
    };
    const auto openAndDecode = [&](const std::string& path) {
        std::string error;
        const std::unique_ptr<IByteInput> input = open(path, error);
        if (!input) {
            unreadable(path, error);
            return true;
        }
        return decode(shown(path), *input);
    };

    // What a file is by its first bytes; Unreadable with the reason.
    std::vector<char> head(kHeadBytes);
    const auto contentOf = [&](const std::string& path,
                               std::string& error) -> std::optional<Content> {
        const std::unique_ptr<IByteInput> input = open(path, error);
        std::size_t size = 0;
        for (std::size_t got = 1; input && got > 0 && size < head.size(); size += got) {
            if (!input->Read(head.data() + size, head.size() - size, got, error)) {
                return std::nullopt;
            }
        }
        return input ? std::optional(ContentOf(std::string_view(head.data(), size), decoder))
                     : std::nullopt;
    };
    const auto readArchive = [&](const std::string& file, std::size_t& count, bool& go) {
        std::string member;
        std::string error = tree.ReadArchive(
            file, passwords, kMaxMemberBytes, IsDataFileName,
            [&](const std::string& name, IByteInput& input) {
                ++count;
                return go = decode(shown(file + ":" + name), input);
            },
            member);
        if (!error.empty() && go) {
            unreadable(member.empty() ? file : file + ":" + member,
                       shownReason(error, file, "(圧縮ファイル)"));
        }
    };

    std::vector<std::size_t> perArgument;  // the data files each argument stood for
    std::vector<std::string> skipped;      // files in folders that are not data files
    for (const auto& file : o.files) {
        std::size_t count = 0;
        bool go = true;
        std::string error;
        if (file == "-") {
            ++count;
            go = openAndDecode(file);
        } else if (tree.KindOf(file) == IFileTree::Kind::Folder) {
            // Every regular file below it that is a data file or an archive by its content,
            // whatever its name; a folder that cannot be read is named and the walk goes on.
            const FolderContents below = FilesBelow(tree, file);
            for (const auto& [folder, reason] : below.unreadable) {
                unreadable(folder, reason);
            }
            skipped.insert(skipped.end(), below.others.begin(), below.others.end());
            for (std::size_t n = 0; go && n < below.files.size(); ++n) {
                const std::string& path = below.files[n];
                const std::optional<Content> content = contentOf(path, error);
                if (!content) {
                    unreadable(path, error);
                } else if (*content == Content::Data) {
                    ++count;
                    go = openAndDecode(path);
                } else if (*content == Content::Archive) {
                    readArchive(path, count, go);
                } else {
                    skipped.push_back(path);
                }
            }
            if (count == 0 && below.unreadable.empty() && go) {
                unreadable(file, "データファイルがありません");
            }
        } else if (const std::optional<Content> content = contentOf(file, error); !content) {
            unreadable(file, error);
        } else if (*content == Content::Archive) {
            readArchive(file, count, go);
        } else if (*content == Content::Data || *content == Content::Records) {
            ++count;
            go = openAndDecode(file);
        } else {
            // Named on the command line, a file without records is said once, not line by line.
            unreadable(file, *content == Content::Empty ? "記録がありません"
                                                        : "データファイルではありません");
        }
        perArgument.push_back(count);
        if (!go) {
            break;
        }
    }
    if (!skipped.empty()) {
        err << "QRX_PC_INFO_DECODE: データファイルではないファイル " << skipped.size()
            << " 個を読み飛ばしました" << (o.verbose ? ":" : " (名前は --verbose で表示します)")
            << "\n";
        for (std::size_t n = 0; o.verbose && n < skipped.size(); ++n) {
            err << "  " << Escaped(shown(skipped[n])) << "\n";
        }
    }
    if (!full.empty()) {
        err << "QRX_PC_INFO_DECODE: " << full << "\n";
        return kExitNotDone;
    }
    if (o.Diff() && !output.Failed() &&
        std::any_of(perArgument.begin(), perArgument.end(), [](std::size_t n) { return n > 1; })) {
        err << "QRX_PC_INFO_DECODE: --diff で比べるのは 1 つずつのデータファイルです。"
               "フォルダーや圧縮ファイルに複数入っているときは、そのファイルを指定してください\n";
        return Close(output, err, kExitNotDone);
    }
    if (!output.Failed()) {
        status = format->Finish(status);
        if (const std::string why = format->Full(); !why.empty()) {
            err << "QRX_PC_INFO_DECODE: " << (o.mask ? masker->Words(why) : why) << "\n";
            status = kExitNotDone;
        }
    }
    if (mapFile) {
        const std::string table = MaskMapText(map);
        if (!mapFile->Write(table.data(), table.size(), optionError)) {
            optionFile("--mask-map", *o.maskMapFile, optionError);
            status = kExitNotDone;
        }
    }
    return Close(output, err, status);
}

}  // namespace qrx
