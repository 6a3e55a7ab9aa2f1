#pragma once

#include <string>
#include <vector>

#include "app/frmMain.h"
#include "collect/CollectionPlan.h"
#include "collect/basPCInfo.h"
#include "output/DataFile.h"
#include "output/ProgramState.h"

namespace qrx {

// The collection run behind "処理開始" and the five single-category commands.
class Collector : public IFormCommands {
  public:
    static constexpr const char* kConfirmation = "処理を開始します。よろしいですか？";

    Collector(ProgramState& state, IWindowing& window, IClock& clock, DataFile& data,
              basPCInfo& info)
        : state_(state), window_(window), clock_(clock), data_(data), info_(info) {}

    // The six classes of a run, in order, from the collection plan.
    static const std::vector<CollectionStep>& RunPlan() { return RunSteps(); }
    // The class and list of a category button.
    static const CollectionStep& CategoryStep(ButtonId id);

    void cmdRun_Click(frmMain& form) override;
    void CategoryClick(ButtonId id, frmMain& form) override;

    std::string CompletionMessage();

  private:
    // Collects the steps with the buttons disabled and the wait cursor shown; a new run also
    // fixes its start time. False when an error ended the work; the user has then been told.
    bool Collect(const std::vector<CollectionStep>& steps, frmMain& form, bool newRun);
    void ReportLostRecords();

    ProgramState& state_;
    IWindowing& window_;
    IClock& clock_;
    DataFile& data_;
    basPCInfo& info_;
};

}  // namespace qrx
