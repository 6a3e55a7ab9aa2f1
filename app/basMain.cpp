#include "app/basMain.h"

namespace qrx {

bool IsDebugCommandLine(const std::string& commandLine) {
    if (commandLine.empty()) {
        return false;
    }
    return commandLine.substr(0, commandLine.find(' ')) == "DEBUG";
}

void Main(const std::string& commandLine, ProgramState& state, frmMain& form) {
    state.DebugMode = false;
    state.DebugMode = IsDebugCommandLine(commandLine);
    form.Show();
}

}  // namespace qrx
