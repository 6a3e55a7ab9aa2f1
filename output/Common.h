#pragma once

#include <string>

#include "output/ProgramState.h"
#include "platform/System.h"

namespace qrx {

// The stem of the program's log-name constant; it also names the data files.
inline constexpr const char* kLogName = "PC_INFO.LOG";
std::string LogNameStem();

// "YYYYMM", "YYMMDD", "YYMMDDhhnnss" and "hh:mm:ss " pictures of a date and time.
std::string FormatYYYYMM(const LocalDateTime& t);
std::string FormatYYMMDD(const LocalDateTime& t);
std::string FormatYYMMDDhhnnss(const LocalDateTime& t);
std::string FormatTimeOfDay(const LocalDateTime& t);

// The shared file routines and the debug trace log.
class basCommon {
  public:
    basCommon(const ProgramState& state, IAppInfo& app, IClock& clock, IFileSystem& files)
        : state_(state), app_(app), clock_(clock), files_(files) {}

    // Appends one time-stamped line to the day's trace log in debug mode, its control
    // characters but TAB written as \xNN; does nothing otherwise. Never reports a failure to
    // the caller; the first line that is lost is reported through the file system.
    void WriteLog(const std::string& message);

    // The executable's folder, ending in exactly one separator.
    std::string GetAppPath();

    // Appends `line` and CR LF to `path`, opening and closing the file for this one line. The
    // result tells whether the line arrived; the trace log ignores it.
    bool AppendLine(const std::string& path, const std::string& line);

    // An advisory lock on `path` that other instances of the program wait for; null when none
    // can be had.
    std::unique_ptr<IFileLock> LockFile(const std::string& path) { return files_.LockFile(path); }

  private:
    const ProgramState& state_;
    IAppInfo& app_;
    IClock& clock_;
    IFileSystem& files_;
    bool logLossReported_ = false;
};

}  // namespace qrx
