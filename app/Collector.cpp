#include "app/Collector.h"

#include <cstdio>
#include <stdexcept>

namespace qrx {

const std::vector<CollectionStep>& Collector::RunPlan() {
    static const std::vector<CollectionStep> plan = {
        {"Win32_NetworkAdapterConfiguration", {"Caption", "IPAddress", "MACAddress"}},
        {"Win32_NetworkAdapter",
         {"Description", "AdapterType", "Manufacturer", "Name", "PhysicalAdapter", "PNPDeviceID"}},
        {"Win32_Processor", {"Name", "Description", "ProcessorId"}},
        {"Win32_OperatingSystem",
         {"Caption", "OSArchitecture", "Version", "BuildNumber", "OSLanguage", "CountryCode",
          "Locale", "CSName", "SerialNumber", "TotalVisibleMemorySize"}},
        {"Win32_BaseBoard", {"Manufacturer", "Product", "Version"}},
        {"Win32_ComputerSystemProduct", {"Vendor", "Name", "UUID"}},
    };
    return plan;
}

const CollectionStep& Collector::CategoryStep(ButtonId id) {
    // NIC, CPU and UUID collect exactly what the run collects for their class; OS leaves out
    // "BuildNumber" and M/B adds "SerialNumber".
    static const CollectionStep os{
        "Win32_OperatingSystem",
        {"Caption", "OSArchitecture", "Version", "OSLanguage", "CountryCode", "Locale", "CSName",
         "SerialNumber", "TotalVisibleMemorySize"}};
    static const CollectionStep mb{"Win32_BaseBoard",
                                   {"Manufacturer", "Product", "Version", "SerialNumber"}};
    switch (id) {
        case ButtonId::cmdNIC:
            return RunPlan()[0];
        case ButtonId::cmdCPU:
            return RunPlan()[2];
        case ButtonId::cmdOS:
            return os;
        case ButtonId::cmdMB:
            return mb;
        case ButtonId::cmdUUID:
            return RunPlan()[5];
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
