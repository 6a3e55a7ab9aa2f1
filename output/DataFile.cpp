#include "output/DataFile.h"

namespace qrx {

void DataFile::WriteData(const std::string& record) {
    if (!cipher_) {
        // A cipher error that was caught is traced in debug mode; its text is flattened to
        // one line so that the log keeps one entry per line.
        cipher_ =
            std::make_unique<clsCipher>(crypto_, codec_, window_, [this](const std::string& text) {
                std::string flat;
                for (char c : text) {
                    if (c == '\r') {
                        continue;
                    }
                    flat += c == '\n' ? std::string(" / ") : std::string(1, c);
                }
                common_.WriteLog("gfEncryptDecrypt() " + flat);
            });
    }
    const std::string line = cipher_->gfEncryptDecrypt(record, 0);
    if (!common_.AppendLine(FilePath(), line)) {
        ++lost_;
    }
}

std::string DataFile::FileName() const {
    return LogNameStem() + "_" + FormatYYMMDDhhnnss(state_.RunStartTime) + ".dat";
}

std::string DataFile::FilePath() {
    return common_.GetAppPath() + FileName();
}

}  // namespace qrx
