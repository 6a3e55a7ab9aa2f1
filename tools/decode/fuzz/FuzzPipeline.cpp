// libFuzzer target: the whole decoder, from its command line to its output, as the desk runs it.
// The first byte picks a way in (a format, --diff, --mask-key, standard input, an archive or a
// folder written to a temporary folder, or a command line of the fuzzer's own), the rest is
// what comes in: one data file, or several separated by kSplit.
//
// What it checks is what the desk relies on whatever the file holds: the exit status is 0, 1 or
// 2; standard output and standard error are UTF-8 without a control character but TAB and the
// line ends; every JSON line parses; an HTML page is inert (only the decoder's own elements and
// attributes, no script, no event handler, no "<" from a record).
#include <unistd.h>

#include <archive.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/IconvCodec.h"
#include "platform/linux/MbedTlsCrypto.h"
#include "platform/linux/MbedTlsKeyedHash.h"
#include "tools/decode/Decoder.h"
#include "tools/decode/inputs/ArchiveTree.h"

namespace {

namespace fs = std::filesystem;

// Between the files of one input, and between the arguments and the file of a command line.
constexpr std::string_view kSplit = "\n=====\n";

enum class Way { File, Input, Archive, Folder, CommandLine };
enum class Page { Text, Json, Html, Workbook };

// One way in: the arguments before the files ("@" stands for the folder of this process's
// files, for --xlsx and --password-file), how the input arrives and what the output is.
struct Mode {
    std::vector<std::string> args;
    Way way;
    Page page;
};

const std::vector<Mode>& Modes() {
    static const std::vector<Mode> modes = {
        {{}, Way::File, Page::Text},
        {{"--json"}, Way::File, Page::Json},
        {{"--csv"}, Way::File, Page::Text},
        {{"--summary"}, Way::File, Page::Text},
        {{"--summary", "--json"}, Way::File, Page::Json},
        {{"--html"}, Way::File, Page::Html},
        {{"--xlsx", "@/out.xlsx"}, Way::File, Page::Workbook},
        {{"--diff"}, Way::File, Page::Text},
        {{"--diff", "--json"}, Way::File, Page::Json},
        {{"--diff", "--html"}, Way::File, Page::Html},
        {{"--mask-key", "fuzz"}, Way::File, Page::Text},
        {{"--mask-key", "fuzz", "--json"}, Way::File, Page::Json},
        {{"--mask-key", "fuzz", "--html"}, Way::File, Page::Html},
        {{"--mask-key", "fuzz", "--diff", "--html"}, Way::File, Page::Html},
        {{"--mask-key", "fuzz", "--summary", "--json"}, Way::Folder, Page::Json},
        {{}, Way::Input, Page::Text},
        {{"--json"}, Way::Input, Page::Json},
        {{"--summary"}, Way::Archive, Page::Text},
        {{"--json", "--password-file", "@/password.txt"}, Way::Archive, Page::Json},
        {{"--html"}, Way::Archive, Page::Html},
        {{"--summary"}, Way::Folder, Page::Text},
        {{"--csv"}, Way::Folder, Page::Text},
        {{"--html"}, Way::Folder, Page::Html},
        {{}, Way::CommandLine, Page::Text},
    };
    return modes;
}

// The names the files of a folder get, in turn: a renamed file, Windows' copy names, one below.
constexpr const char* kFolderNames[] = {"PC_INFO_261201090000.dat",
                                        "山田太郎 PC.dat",
                                        "PC_INFO_261201090000 (2).dat",
                                        "下/PC_INFO_261201090000 - コピー.dat",
                                        "下/受付.zip",
                                        "転送.eml"};

std::vector<std::string_view> Split(std::string_view text, std::string_view by) {
    std::vector<std::string_view> parts;
    for (std::size_t at = 0;;) {
        const std::size_t end = text.find(by, at);
        parts.push_back(text.substr(at, end == std::string_view::npos ? end : end - at));
        if (end == std::string_view::npos) {
            return parts;
        }
        at = end + by.size();
    }
}

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

// Bytes in uneven pieces, so that lines, CR LF pairs and UTF-16 units fall across reads.
class PieceInput : public qrx::IByteInput {
  public:
    explicit PieceInput(std::string data) : data_(std::move(data)) {}
    qrx::Result<std::size_t> Read(char* buffer, std::size_t capacity) override {
        const std::size_t got = std::min({capacity, data_.size() - at_, at_ % 4093 + 1});
        std::copy_n(data_.data() + at_, got, buffer);
        at_ += got;
        return got;
    }

  private:
    std::string data_;
    std::size_t at_ = 0;
};

class TextOutput : public qrx::IByteOutput {
  public:
    std::string text;
    qrx::Done Write(const char* data, std::size_t size) override {
        text.append(data, size);
        return {};
    }
};

std::string ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// This process's folder of files, emptied before every input and removed at the end.
const fs::path& Folder() {
    static const fs::path folder = [] {
        std::string name = (fs::temp_directory_path() / "qrx-fuzz.XXXXXX").string();
        Check(mkdtemp(name.data()) != nullptr);
        std::atexit([] { fs::remove_all(Folder()); });
        return fs::path(name);
    }();
    return folder;
}

void WriteFile(const fs::path& path, std::string_view data) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(data.data(), static_cast<std::streamsize>(data.size()));
}

// Real folders and archives (libarchive), and the workbook written into this process's folder.
class Tree : public qrx::ArchiveTree {
  public:
    Tree()
        : ArchiveTree([](archive* a, const std::string& path) {
              return archive_read_open_filename(a, path.c_str(), 10240);
          }) {}
    qrx::Result<std::unique_ptr<qrx::IByteOutput>> CreateNew(const std::string& path) override {
        Check(fs::path(path).parent_path() == Folder());  // nothing is written elsewhere
        auto out = std::make_unique<FileOutput>(path);
        if (!*out->file) {
            return qrx::Failure{qrx::FailureKind::Other, "作れません", ""};
        }
        return std::unique_ptr<qrx::IByteOutput>(std::move(out));
    }

  private:
    struct FileOutput : qrx::IByteOutput {
        explicit FileOutput(const std::string& path)
            : file(std::make_unique<std::ofstream>(path, std::ios::binary)) {}
        qrx::Done Write(const char* data, std::size_t size) override {
            if (!file->write(data, static_cast<std::streamsize>(size))) {
                return qrx::Failure{qrx::FailureKind::Io, "書き込めません", ""};
            }
            return {};
        }
        std::unique_ptr<std::ofstream> file;
    };
};

// Text for a terminal or a file: UTF-8 (the JSON library refuses anything else), and no control
// character but TAB, CR and LF, neither C0, DEL nor C1.
void CheckText(const std::string& text) {
    try {
        (void)nlohmann::json(text).dump();
    } catch (const nlohmann::json::exception&) {
        std::abort();
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        Check(c >= 0x20 || c == '\t' || c == '\r' || c == '\n');
        Check(c != 0x7F);
        Check(c != 0xC2 || i + 1 == text.size() || static_cast<unsigned char>(text[i + 1]) >= 0xA0);
    }
}

void CheckJsonLines(const std::string& text) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        Check(nlohmann::json::accept(line));
    }
}

// Only the elements and attributes the decoder writes, their values quoted and free of markup,
// links only within the page.
void CheckHtml(const std::string& page) {
    static const std::set<std::string, std::less<>> elements = {
        "!DOCTYPE", "a",     "body", "br",   "div",   "h1",      "h2",   "h3",
        "head",     "html",  "li",   "meta", "p",     "section", "span", "style",
        "table",    "tbody", "td",   "th",   "thead", "title",   "tr",   "ul"};
    static const std::set<std::string, std::less<>> attributes = {
        "charset", "class", "colspan", "content", "href", "id", "lang", "name", "scope", "html"};
    for (std::size_t at = page.find('<'); at != std::string::npos; at = page.find('<', at)) {
        ++at;
        if (at < page.size() && page[at] == '/') {
            ++at;
        }
        const std::size_t nameEnd = page.find_first_of(" >", at);
        Check(nameEnd != std::string::npos && elements.contains(page.substr(at, nameEnd - at)));
        at = nameEnd;
        while (page[at] == ' ') {
            ++at;
            const std::size_t eq = page.find_first_of("=> ", at);
            Check(eq != std::string::npos);
            const std::string name = page.substr(at, eq - at);
            Check(attributes.contains(name));
            at = eq;
            if (page[at] == '=') {
                Check(page[at + 1] == '"');
                const std::size_t close = page.find('"', at + 2);
                Check(close != std::string::npos);
                const std::string value = page.substr(at + 2, close - at - 2);
                Check(value.find('<') == std::string::npos);
                Check(name != "href" || value.starts_with('#'));
                at = close + 1;
            }
        }
        Check(page[at] == '>');
    }
}

// The arguments of a command line of the fuzzer's own: NUL-separated, then kSplit and the bytes
// that every file it names holds. Nothing is written and no real file is read.
int RunCommandLine(std::string_view input, qrx::ICryptoProvider& crypto, qrx::ITextCodec& codec,
                   qrx::IKeyedHash& hash, TextOutput& out, std::ostream& err) {
    const std::size_t split = input.find(kSplit);
    const std::string file(split == std::string_view::npos ? ""
                                                           : input.substr(split + kSplit.size()));
    std::vector<std::string> args;
    for (std::string_view arg : Split(input.substr(0, split), std::string_view("\0", 1))) {
        args.emplace_back(arg);
    }
    qrx::PlainFiles tree;
    return qrx::RunDecoder(
        args, crypto, codec, hash,
        [&](const std::string&) -> qrx::Result<std::unique_ptr<qrx::IByteInput>> {
            return std::unique_ptr<qrx::IByteInput>(std::make_unique<PieceInput>(file));
        },
        tree, out, err);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static qrx::MbedTlsCrypto crypto;
    static qrx::IconvCodec codec;
    static qrx::MbedTlsKeyedHash hash;
    if (size == 0) {
        return 0;
    }
    const Mode& mode = Modes()[data[0] % Modes().size()];
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const fs::path& folder = Folder();
    for (const auto& entry : fs::directory_iterator(folder)) {
        fs::remove_all(entry.path());
    }

    TextOutput out;
    std::ostringstream err;
    int status = 0;
    if (mode.way == Way::CommandLine) {
        status = RunCommandLine(input, crypto, codec, hash, out, err);
    } else {
        std::vector<std::string> args;
        for (const std::string& arg : mode.args) {
            args.push_back(arg.starts_with('@') ? folder.string() + arg.substr(1) : arg);
        }
        WriteFile(folder / "password.txt", "guess\r\ns3cret\r\n");
        const std::vector<std::string_view> parts = Split(input, kSplit);
        if (mode.way == Way::Input) {
            args.push_back("-");
        } else if (mode.way == Way::Archive) {
            WriteFile(folder / "受付.zip", input);
            args.push_back((folder / "受付.zip").string());
        } else if (mode.way == Way::Folder) {
            for (std::size_t n = 0; n < parts.size() && n < std::size(kFolderNames); ++n) {
                WriteFile(folder / "受付" / kFolderNames[n], parts[n]);
            }
            args.push_back((folder / "受付").string());
        } else {
            // Two for --diff, else as many as there are.
            const bool diff = std::find(args.begin(), args.end(), "--diff") != args.end();
            for (std::size_t n = 0; n < (diff ? 2 : parts.size()); ++n) {
                const fs::path path = folder / ("PC_INFO_26120109000" + std::to_string(n) + ".dat");
                WriteFile(path, n < parts.size() ? parts[n] : "");
                args.push_back(path.string());
            }
        }
        Tree tree;
        status = qrx::RunDecoder(
            args, crypto, codec, hash,
            [&](const std::string& path) -> qrx::Result<std::unique_ptr<qrx::IByteInput>> {
                std::error_code ec;
                if (path != "-" && !fs::is_regular_file(path, ec)) {
                    return qrx::Failure{qrx::FailureKind::NotFound, "開けません", ""};
                }
                return std::unique_ptr<qrx::IByteInput>(std::make_unique<PieceInput>(
                    path == "-" ? std::string(input) : ReadWhole(path)));
            },
            tree, out, err);
    }

    Check(status >= 0 && status <= 2);
    CheckText(err.str());
    if (mode.page != Page::Workbook) {
        CheckText(out.text);
    }
    if (mode.page == Page::Json) {
        CheckJsonLines(out.text);
    } else if (mode.page == Page::Html) {
        CheckHtml(out.text);
    } else if (mode.page == Page::Workbook && status != 2) {
        Check(ReadWhole(folder / "out.xlsx").starts_with("PK"));
    }
    return 0;
}
