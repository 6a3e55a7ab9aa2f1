// What another user might put beside the program as a Qt style plugin, style "planted": loaded,
// it leaves the marker file that QRX_TEST_MARKER names.
#include <QStylePlugin>
#include <cstdlib>
#include <fstream>

namespace {
__attribute__((constructor)) void LeaveMarker() {
    if (const char* marker = std::getenv("QRX_TEST_MARKER")) {
        std::ofstream{marker};
    }
}
}  // namespace

class PlantedStyle : public QStylePlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QStyleFactoryInterface_iid FILE "PlantedQtPlugin.json")
  public:
    QStyle* create(const QString&) override { return nullptr; }
};

#include "PlantedQtPlugin.moc"
