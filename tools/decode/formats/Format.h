#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "tools/decode/common/ByteStreams.h"
#include "tools/decode/records/RecordModel.h"

namespace qrx {

// Standard output through one buffer; the first failure is kept and ends all writing.
class Output {
  public:
    static constexpr std::size_t kChunk = 64 * 1024;
    explicit Output(IByteOutput& out) : out_(out) {}

    std::string& Text() { return buffer_; }
    // Writes the buffer once it is large.
    void Commit() {
        if (buffer_.size() >= kChunk) {
            Flush();
        }
    }
    void Flush();
    bool Failed() const { return failure_.has_value(); }
    // Why writing failed, when it did.
    const Failure& Error() const { return *failure_; }

  private:
    IByteOutput& out_;
    std::string buffer_;
    std::optional<Failure> failure_;
};

// One output format of the decoder. The decoder reads the files one after another and hands
// over, for each, what it found; the format writes to the output as it likes.
class IFormat {
  public:
    virtual ~IFormat() = default;
    // `opened` is false for a file that could not be opened; a Failure with line 0 follows.
    virtual void BeginFile(const std::string& name, bool opened) = 0;
    virtual void Record(const PlacedRecord& record) = 0;
    // A line that is no record, or with line 0 a reason that concerns the whole file.
    virtual void Failure(std::size_t line, const std::string& reason) = 0;
    virtual void EndFile() = 0;
    // After the last file; `status` is that of decoding (kExitDecoded, kExitBadLine or
    // kExitNotDone). Returns the exit status.
    virtual int Finish(int status) = 0;
    // Fails when the format cannot take more records (its memory limit): the decoder stops with
    // the failure's message and status 2, and the format writes nothing.
    virtual Done Room() const { return {}; }
};

// Memory that --html and --diff may hold for the records of all files together.
inline constexpr std::size_t kMaxCollectedBytes = 64 * 1024 * 1024;

// The base of the formats that need every file whole before they write: the collections, with
// their memory bounded by kMaxCollectedBytes.
class CollectingFormat : public IFormat {
  public:
    void BeginFile(const std::string& name, bool opened) override;
    void Record(const PlacedRecord& record) override;
    void Failure(std::size_t line, const std::string& reason) override;
    void EndFile() override;
    Done Room() const override;

  protected:
    std::vector<Collection> collections_;

  private:
    std::unique_ptr<ClassBuilder> builder_;
    std::size_t bytes_ = 0;
};

}  // namespace qrx
