#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "cipher/clsCipher.h"
#include "output/Common.h"
#include "output/ProgramState.h"

namespace qrx {

// The encrypted data file of the current collection run: one cipher line per record, in the
// application folder, named after the moment the run started.
class DataFile {
  public:
    DataFile(const ProgramState& state, basCommon& common, ICryptoProvider& crypto,
             ITextCodec& codec, IWindowing& window)
        : state_(state), common_(common), crypto_(crypto), codec_(codec), window_(window) {}

    // Encrypts the record and appends it as one line. A line that cannot be appended is
    // counted, not reported: the caller decides what the user is told.
    void WriteData(const std::string& record);

    // "PC_INFO_<YYMMDDhhnnss>.dat" for the run start time as it is now.
    std::string FileName() const;
    // The file name below the application folder.
    std::string FilePath();

    // Holds the current data file against other instances of the program, which wait until
    // the lock goes: the records of two runs started in the same second follow each other.
    std::unique_ptr<IFileLock> Lock() { return common_.LockFile(FilePath()); }

    std::size_t LostRecords() const { return lost_; }
    void ResetLostRecords() { lost_ = 0; }

  private:
    const ProgramState& state_;
    basCommon& common_;
    ICryptoProvider& crypto_;
    ITextCodec& codec_;
    IWindowing& window_;
    std::unique_ptr<clsCipher> cipher_;  // created on first use, kept until the end
    std::size_t lost_ = 0;
};

}  // namespace qrx
