// The Qt front end's module: the only code of the program that links Qt.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <algorithm>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "platform/linux/QtFrontEnd.h"
#include "platform/linux/QtPlatformChoice.h"
#include "platform/linux/QtWindowing.h"

// The embedded font, made at build time (resources/make_font.py).
extern const unsigned char kQrxUiFont[];
extern const unsigned kQrxUiFontSize;

namespace qrx {

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The folders where Qt looks for its platform plugins.
std::vector<std::string> PlatformPluginDirs() {
    std::vector<std::string> dirs;
    if (const std::string direct = Environment("QT_QPA_PLATFORM_PLUGIN_PATH"); !direct.empty()) {
        dirs.push_back(direct);
    }
    const std::string paths = Environment("QT_PLUGIN_PATH");
    for (std::size_t begin = 0; begin <= paths.size();) {
        const std::size_t end = std::min(paths.find(':', begin), paths.size());
        if (end > begin) {
            dirs.push_back(paths.substr(begin, end - begin) + "/platforms");
        }
        begin = end + 1;
    }
    dirs.push_back(QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString() + "/platforms");
    return dirs;
}

// Qt looks for plugins (platforms/, platformthemes/, styles/, imageformats/ ...) in its own
// plugin folder, in the folders of QT_PLUGIN_PATH and in the program's folder, which it adds when
// the application object is made; a folder that was in the list before and was taken out stays
// out. So the program's folder, where anyone may have put something in a shared folder, is put
// in through QT_PLUGIN_PATH for a moment and taken out again, unless the user named it there.
// (A qt.conf beside the program is not read either: the module carries its own.)
void KeepPluginsToQtsOwnFolders() {
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QString folder = exe.isEmpty() ? QString() : QDir(QFileInfo(exe).path()).canonicalPath();
    const QByteArray userPaths = qgetenv("QT_PLUGIN_PATH");
    const bool userSet = qEnvironmentVariableIsSet("QT_PLUGIN_PATH");
    for (const QString& path : QString::fromLocal8Bit(userPaths).split(u':', Qt::SkipEmptyParts)) {
        if (!folder.isEmpty() && QDir(path).canonicalPath() == folder) {
            return;
        }
    }
    qputenv("QT_PLUGIN_PATH",
            QFile::encodeName(folder) + (userPaths.isEmpty() ? "" : ":" + userPaths));
    QStringList paths = QCoreApplication::libraryPaths();
    if (userSet) {
        qputenv("QT_PLUGIN_PATH", userPaths);
    } else {
        qunsetenv("QT_PLUGIN_PATH");
    }
    if (!folder.isEmpty()) {
        paths.removeAll(folder);
    }
    QCoreApplication::setLibraryPaths(paths);
}

// Registers the embedded Japanese font and, where the system has no Japanese font of its own,
// makes it the fallback of the application's font, so that no caption shows as empty boxes.
void UseEmbeddedFontWhereNeeded() {
    const int id = QFontDatabase::addApplicationFontFromData(QByteArray::fromRawData(
        reinterpret_cast<const char*>(kQrxUiFont), static_cast<qsizetype>(kQrxUiFontSize)));
    const QString embedded = QFontDatabase::applicationFontFamilies(id).value(0);
    if (embedded.isEmpty()) {
        return;
    }
    for (const QString& family : QFontDatabase::families(QFontDatabase::Japanese)) {
        if (family != embedded) {
            return;  // the system's own Japanese font serves
        }
    }
    QFont font = QApplication::font();
    font.setFamilies({font.family(), embedded});
    QApplication::setFont(font);
}

class QtFrontEnd : public IQtFrontEnd {
  public:
    QtFrontEnd(int& argc, char** argv) : app_(argc, argv) { UseEmbeddedFontWhereNeeded(); }

    IWindowing& Window() override { return window_; }
    int Run() override { return window_.ExitStatus(QApplication::exec()); }

  private:
    QApplication app_;
    QtWindowing window_;
};

}  // namespace

}  // namespace qrx

namespace {

qrx::IQtFrontEnd* CreateQtFrontEnd(int* argc, char** argv, std::string* reason) {
    try {
        // Qt ends the process when no platform plugin can start, so the choice is made here,
        // where the program can still fall back to the terminal. A choice the user made stands.
        if (qrx::Environment("QT_QPA_PLATFORM").empty()) {
            const qrx::Result<std::string> platforms =
                qrx::ChooseQtPlatforms(qrx::Environment("WAYLAND_DISPLAY"),
                                       qrx::Environment("DISPLAY"), qrx::PlatformPluginDirs());
            if (!platforms) {
                *reason = platforms.failure().text;
                return nullptr;
            }
            setenv("QT_QPA_PLATFORM", platforms->c_str(), 1);
        }
        qrx::KeepPluginsToQtsOwnFolders();
        return new qrx::QtFrontEnd(*argc, argv);
    } catch (const std::exception& e) {
        *reason = e.what();
        return nullptr;
    }
}

}  // namespace

extern "C" __attribute__((visibility("default")))
const qrx::QtFrontEndEntry qrx_qt_front_end = {QRX_QT_INTERFACE, &CreateQtFrontEnd};
