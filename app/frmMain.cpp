#include "app/frmMain.h"

namespace qrx {

namespace {
const std::string kTenHyphens(10, '-');
}

WindowLayout frmMain::Layout() {
    // The category buttons lie below the client area and are created invisible, which keeps
    // them out of reach of the mouse, the keyboard and accessibility tools alike.
    return WindowLayout{
        kCaption,
        4440,
        2850,
        {
            {ButtonId::cmdRun, "cmdRun", "処理開始", 413, 330, 3615, 930, 6, true},
            {ButtonId::cmdEnd, "cmdEnd", "終　了", 413, 1590, 3615, 930, 5, true},
            {ButtonId::cmdNIC, "cmdNIC", "NIC情報", 630, 5340, 3615, 690, 0, false},
            {ButtonId::cmdCPU, "cmdCPU", "CPU情報", 600, 6450, 3615, 930, 1, false},
            {ButtonId::cmdOS, "cmdOS", "OS情報", 600, 7680, 3615, 930, 2, false},
            {ButtonId::cmdMB, "cmdMB", "M/B情報", 600, 8820, 3615, 930, 3, false},
            {ButtonId::cmdUUID, "cmdUUID", "UUID情報", 600, 9990, 3615, 930, 4, false},
        },
    };
}

void frmMain::Show() {
    window_.ShowMainWindow(Layout(), *this);
}

void frmMain::SetButtonsEnabled(bool enabled) {
    for (ButtonId id : {ButtonId::cmdNIC, ButtonId::cmdCPU, ButtonId::cmdOS, ButtonId::cmdMB,
                        ButtonId::cmdUUID, ButtonId::cmdEnd, ButtonId::cmdRun}) {
        window_.SetButtonEnabled(id, enabled);
    }
    window_.ProcessPendingEvents();
}

void frmMain::Form_Load() {
    common_.WriteLog("");
    common_.WriteLog("Form_Load() " + kTenHyphens + "PC Infomation Get Program Start" +
                     kTenHyphens);
}

void frmMain::Form_Unload() {
    if (unloaded_) {
        return;
    }
    unloaded_ = true;
    common_.WriteLog("Form_Load() " + kTenHyphens + "PC Infomation Get Program E n d" +
                     kTenHyphens);
}

void frmMain::cmdEnd_Click() {
    window_.EndProgram();
}

bool frmMain::OnCloseRequested() {
    if (commandInFlight_) {
        closePending_ = true;
        return false;
    }
    Form_Unload();
    return true;
}

void frmMain::OnButtonClicked(ButtonId id) {
    // A click that reaches the form while a command is in flight belongs to a button that was
    // disabled when it was made (it waited in the queue); disabled buttons ignore clicks.
    if (commandInFlight_) {
        return;
    }
    if (id == ButtonId::cmdEnd) {
        cmdEnd_Click();
        return;
    }
    if (commands_ == nullptr) {
        return;
    }
    struct InFlight {
        bool& flag;
        explicit InFlight(bool& f) : flag(f) { flag = true; }
        ~InFlight() { flag = false; }
    };
    {
        InFlight inFlight(commandInFlight_);
        switch (id) {
            case ButtonId::cmdRun:
                commands_->cmdRun_Click(*this);
                break;
            default:
                commands_->CategoryClick(id, *this);
                break;
        }
    }
    // A close asked for while the command worked is honoured now that no class is cut off.
    if (closePending_) {
        Form_Unload();
        window_.EndProgram();
    }
}

}  // namespace qrx
