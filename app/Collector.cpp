#include "app/Collector.h"

#include <cstdio>
#include <stdexcept>

namespace qrx {

const CollectionStep& Collector::CategoryStep(ButtonId id) {
    // The plan says which properties a category command queries: NIC, CPU and UUID collect
    // what the run collects for their class, OS leaves out "BuildNumber", M/B adds
    // "SerialNumber".
    static const CollectionStep nic = CategoryStepOf("Win32_NetworkAdapterConfiguration");
    static const CollectionStep cpu = CategoryStepOf("Win32_Processor");
    static const CollectionStep os = CategoryStepOf("Win32_OperatingSystem");
    static const CollectionStep mb = CategoryStepOf("Win32_BaseBoard");
    static const CollectionStep uuid = CategoryStepOf("Win32_ComputerSystemProduct");
    switch (id) {
        case ButtonId::cmdNIC:
            return nic;
        case ButtonId::cmdCPU:
            return cpu;
        case ButtonId::cmdOS:
            return os;
        case ButtonId::cmdMB:
            return mb;
        case ButtonId::cmdUUID:
            return uuid;
        default:
            throw std::invalid_argument("not a category button");
    }
}

std::string Collector::CompletionMessage() {
    // The application folder already ends in its one separator, also for a drive's root.
    return "処理を終了しました。\r\n作成された以下のファイルを弊社サポートまでお送りください。\r\n"
           "[" +
           data_.FilePath() + "]";
}

bool Collector::Collect(const std::vector<CollectionStep>& steps, frmMain& form, bool newRun) {
    form.SetButtonsEnabled(false);
    if (newRun) {
        state_.RunStartTime = clock_.Now();
    }
    window_.SetBusy(true);
    data_.ResetLostRecords();
    std::string failure;
    try {
        // Held until the last class is written, and given back before any message is shown.
        const auto lock = data_.Lock();
        PropertyList list;
        for (const auto& step : steps) {
            list.Erase();
            list.Assign(step.properties);
            info_.GetInfo(step.className, list);
        }
    } catch (const FileBusyError&) {
        failure =
            "ほかの実行がこのファイルに書き込んでいるため、何も書き込まずに処理を中断しました。\r\n"
            "しばらくしてから、もう一度実行してください。\r\n[" +
            data_.FilePath() + "]";
    } catch (const AppError& e) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08X", static_cast<std::uint32_t>(e.Number));
        failure = "情報の収集中にエラーが発生したため、処理を中断しました。\r\nエラー番号: " +
                  std::to_string(e.Number) + " (&H" + hex + ")\r\nソース: " + e.Source +
                  "\r\n説明: " + e.Description;
    } catch (const std::exception& e) {
        failure = "情報の収集中にエラーが発生したため、処理を中断しました。\r\n説明: " +
                  std::string(e.what());
    }
    window_.SetBusy(false);
    form.SetButtonsEnabled(true);
    if (!failure.empty()) {
        window_.ShowMessage(failure, mb::IconError);
        return false;
    }
    return true;
}

void Collector::ReportLostRecords() {
    window_.ShowMessage(
        "収集した情報をファイルに書き込めませんでした。\r\n"
        "フォルダーに書き込みできることを確かめてから、もう一度実行してください。\r\n[" +
            data_.FilePath() + "]",
        mb::IconError);
}

void Collector::cmdRun_Click(frmMain& form) {
    if (window_.ShowMessage(kConfirmation, mb::OKCancel | mb::IconQuestion) == kIdCancel) {
        return;
    }
    if (!Collect(RunPlan(), form, true)) {
        return;
    }
    if (data_.LostRecords() > 0) {
        ReportLostRecords();
        return;
    }
    window_.ShowMessage(CompletionMessage(), mb::IconInformation);
}

void Collector::CategoryClick(ButtonId id, frmMain& form) {
    if (Collect({CategoryStep(id)}, form, false) && data_.LostRecords() > 0) {
        ReportLostRecords();
    }
}

}  // namespace qrx
