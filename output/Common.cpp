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

// A control character in a trace line (a value with a line break, a program name with one)
// would let the text forge lines that look like the program's own: each is written as \xNN.
// TAB stays, it parts a property's name from its value.
std::string EscapeControls(const std::string& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7F) {
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 0xF];
        } else {
            out += c;
        }
    }
    return out;
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
    const std::string line = FormatTimeOfDay(now) + EscapeControls(app_.ExeName()) + "[" +
                             std::to_string(app_.ProgramNumber()) + "] " + EscapeControls(message);
    const char sep = app_.PathSeparator();
    const std::string appPath = GetAppPath();
    const std::string logFolder = appPath + "INFO_LOG";
    const std::string monthFolder = logFolder + sep + FormatYYYYMM(now);
    // The folders are attempted on every call; that they exist already is the usual failure.
    // A log folder that another user made (the program lies in a shared folder) gets no line:
    // the log holds every value in plain text.
    const std::string logFile =
        monthFolder + sep + LogNameStem() + "_" + FormatYYMMDD(now) + ".LOG";
    files_.CreateFolder(logFolder);
    bool written = files_.IsOwnFolder(logFolder);
    if (written) {
        files_.CreateFolder(monthFolder);
        written = files_.IsOwnFolder(monthFolder) && files_.AppendLogLine(logFile, line);
    }
    // A lost line is said once, not for each line: the person asked for the log.
    if (!written && !logLossReported_) {
        logLossReported_ = true;
        files_.ReportLostLog(logFile);
    }
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
