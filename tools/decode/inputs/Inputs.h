#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/decode/common/ByteStreams.h"
#include "tools/decode/records/LineDecoder.h"

namespace qrx {

// The most that one member of an archive (or one file) may inflate to: far more than a
// collection (a few KB), far less than what would exhaust memory or disk of a desk's PC.
inline constexpr std::size_t kMaxMemberBytes = 64 * 1024 * 1024;

// What archives may inflate to: each member, each archive, all archives of one run together.
// A real inbox (a few KB a collection) never comes near; an archive of large members (zeros
// compress a thousandfold) stops there instead of inflating for minutes.
struct InflateLimits {
    std::size_t member = kMaxMemberBytes;
    std::size_t archive = std::size_t{256} * 1024 * 1024;
    std::uint64_t run = std::uint64_t{4} * 1024 * 1024 * 1024;
};
// The limits and what the run's archives have inflated so far.
struct InflateBudget {
    InflateLimits limits;
    std::uint64_t spent = 0;
};

// Folders and archives as the platform finds them.
class IFileTree {
  public:
    enum class Kind { File, Folder };  // File also for what is missing: opening it says why
    struct Entry {
        std::string name;
        bool folder = false;   // a real folder; a link to one is not followed
        bool regular = false;  // a regular file (not a link, FIFO or device)
    };
    // Tells by its path in the archive and its first bytes (up to kHeadBytes) whether a member
    // is wanted; an unwanted one is passed over.
    using Wanted = std::function<bool(const std::string& name, std::string_view head)>;
    // Receives each wanted member of an archive with its bytes; false stops the reading.
    using Member = std::function<bool(const std::string& name, IByteInput& input)>;

    virtual ~IFileTree() = default;
    virtual Kind KindOf(const std::string& path) = 0;
    // The entries of a folder in any order.
    virtual Result<std::vector<Entry>> List(const std::string& folder) = 0;
    // Reads the members of an archive (trying `passwords` in order on encrypted ones) in their
    // order and hands over those that `wanted` accepts. What is inflated is charged to `budget`:
    // a member yields at most its limit (reading beyond fails), and once the archive or the run
    // has inflated more than theirs, the rest of the archive is not read (a later archive of the
    // run not at all). Fails when the archive (or a member's first bytes: a missing or wrong
    // password) could not be read; `member` names the member when the failure concerns one. A
    // limit passed inside a member handed over shows as that member's read error only.
    virtual Done ReadArchive(const std::string& path, const std::vector<std::string>& passwords,
                             InflateBudget& budget, const Wanted& wanted, const Member& each,
                             std::string& member) = 0;
    // A new file for writing, readable by its owner only; a file, link or anything else
    // already at the name is never opened.
    virtual Result<std::unique_ptr<IByteOutput>> CreateNew(const std::string& path) {
        (void)path;
        return Failure{FailureKind::Unsupported, "ファイルを作れません", {}};
    }
};

// A tree of plain files only, for callers that name files and nothing else.
class PlainFiles : public IFileTree {
  public:
    Kind KindOf(const std::string&) override { return Kind::File; }
    Result<std::vector<Entry>> List(const std::string&) override;
    Done ReadArchive(const std::string&, const std::vector<std::string>&, InflateBudget&,
                     const Wanted&, const Member&, std::string&) override;
};

// Whether a path names an archive the decoder reads by its ending: .zip, .7z, .lzh, .lha,
// .tar.gz, .tgz (any case).
bool IsArchiveName(std::string_view path);

// What lies below a folder, searched through all of its subfolders (at most kMaxDepth deep;
// links are not followed): its regular files, sorted byte-wise, whatever their names (the data
// files among them are told by their content); what is neither a folder nor a regular file (a
// link, a FIFO, a device); the folders that could not be read, each with its reason. A folder
// that cannot be read does not stop the walk.
inline constexpr int kMaxDepth = 64;
struct FolderContents {
    std::vector<std::string> files;
    std::vector<std::string> others;
    std::vector<std::pair<std::string, Failure>> unreadable;
};
FolderContents FilesBelow(IFileTree& tree, const std::string& folder);

// What a file is by its first bytes.
enum class Content { Data, Records, Archive, Empty, Other };
// `head` is a file's beginning (up to kHeadBytes): an archive by its signature (zip, 7z, gzip,
// lzh), a data file when its first record decodes to a class header (after the transfer damage
// InputText undoes), records when the first one is another record, empty when it holds no byte
// or only blank lines, else other (no line is a record).
inline constexpr std::size_t kHeadBytes = 64 * 1024;
Content ContentOf(std::string_view head, LineDecoder& decoder);

// How a file is shown when masking is on: "-" for standard input, else by its name alone when
// the name is "PC_INFO_<digits>.dat", else as "file-1", "file-2"… in the order first met; no
// folder and no archive is ever shown.
class MaskedFileNames {
  public:
    std::string operator()(const std::string& name, bool standardInput = false);

  private:
    std::map<std::string, std::string> given_;  // every name met, for repeats
    std::size_t next_ = 0;
};

}  // namespace qrx
