#include "output/Common.h"

#include <cstdio>
#include <string_view>

namespace qrx {

namespace {

// Without snprintf: a run names its data file once for each record.
std::string TwoDigits(int n) {
    const int v = ((n % 100) + 100) % 100;
    return {static_cast<char>('0' + v / 10), static_cast<char>('0' + v % 10)};
}

std::string FourDigits(int n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d", n);
    return buf;
}

}  // namespace

std::string LogNameStem() {
    std::string_view name(kLogName);
    return std::string(name.substr(0, name.find('.')));
}

std::string FormatYYYYMM(const LocalDateTime& t) {
    return FourDigits(t.year) + TwoDigits(t.month);
}

std::string FormatYYMMDD(const LocalDateTime& t) {
    return TwoDigits(t.year) + TwoDigits(t.month) + TwoDigits(t.day);
}

std::string FormatYYMMDDhhnnss(const LocalDateTime& t) {
    return FormatYYMMDD(t) + TwoDigits(t.hour) + TwoDigits(t.minute) + TwoDigits(t.second);
}

std::string FormatTimeOfDay(const LocalDateTime& t) {
    return TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second) + " ";
}

void basCommon::WriteLog(const std::string& message) {
    if (!state_.DebugMode) {
        return;
    }
    // One clock reading serves both the line and the file name, so a line written at midnight
    // carries the time of the day whose file it lands in.
    const LocalDateTime now = clock_.Now();
    const std::string line = FormatTimeOfDay(now) + app_.ExeName() + "[" +
                             std::to_string(app_.ProgramNumber()) + "] " + message;
    const char sep = app_.PathSeparator();
    const std::string appPath = GetAppPath();
    const std::string logFolder = appPath + "INFO_LOG";
    const std::string monthFolder = logFolder + sep + FormatYYYYMM(now);
    // The folders are attempted on every call; that they exist already is the usual failure.
    // A log folder that another user made (the program lies in a shared folder) gets no line:
    // the log holds every value in plain text.
    files_.CreateFolder(logFolder);
    if (!files_.IsOwnFolder(logFolder)) {
        return;
    }
    files_.CreateFolder(monthFolder);
    if (!files_.IsOwnFolder(monthFolder)) {
        return;
    }
    files_.AppendLogLine(monthFolder + sep + LogNameStem() + "_" + FormatYYMMDD(now) + ".LOG",
                         line);
}

std::string basCommon::GetAppPath() {
    const char sep = app_.PathSeparator();
    std::string path = app_.ExeFolder();
    while (!path.empty() && path.back() == sep) {
        path.pop_back();
    }
    path += sep;
    // Windows may report the folder with the long-path prefix; the files are addressed
    // without it.
    if (sep == '\\' && path.rfind("\\\\?\\", 0) == 0) {
        path.erase(0, 4);
    }
    return path;
}

bool basCommon::AppendLine(const std::string& path, const std::string& line) {
    return files_.AppendLine(path, line);
}

}  // namespace qrx
