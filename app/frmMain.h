#pragma once

#include <string>

#include "output/Common.h"
#include "output/ProgramState.h"
#include "platform/Windowing.h"

namespace qrx {

class frmMain;

// The commands behind the run button and the five category buttons.
class IFormCommands {
  public:
    virtual ~IFormCommands() = default;
    virtual void cmdRun_Click(frmMain& form) = 0;
    virtual void CategoryClick(ButtonId id, frmMain& form) = 0;
};

// The main window's logic: its layout, its load and close behaviour and its buttons.
class frmMain : public IWindowEvents {
  public:
    static constexpr const char* kCaption = "QuorexPC情報収集ツール";

    // `commands` serve the run and category buttons; without one their clicks do nothing.
    frmMain(IWindowing& window, basCommon& common, IFormCommands* commands = nullptr)
        : window_(window), common_(common), commands_(commands) {}

    // The window as it is stored: caption, client size and the seven buttons.
    static WindowLayout Layout();

    void Show();
    // Sets all seven buttons' enabled state, then lets the window repaint once.
    void SetButtonsEnabled(bool enabled);

    void OnLoaded() override { Form_Load(); }
    bool OnCloseRequested() override;
    // The closing trace line cannot wait for a command in flight when the session ends.
    void OnSessionEnding() override { Form_Unload(); }
    void OnButtonClicked(ButtonId id) override;

    void Form_Load();
    // Writes the closing trace line, once however many close requests arrive.
    void Form_Unload();
    void cmdEnd_Click();

  private:
    IWindowing& window_;
    basCommon& common_;
    IFormCommands* commands_;
    bool commandInFlight_ = false;
    bool closePending_ = false;
    bool unloaded_ = false;
};

}  // namespace qrx
