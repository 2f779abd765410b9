// Linux stand-in for the system profiler: answers "SPUSBDataType -json" with
// the USB device tree read from sysfs.
#include "AlberoUsb.h"

#include <cstdio>
#include <QJsonDocument>
#include <QStringList>

int main(int argc, char **argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    // Tests point the tool at a fixture tree; Tessera itself never passes this.
    QString sysRoot = QStringLiteral("/sys");
    const qsizetype rootOption = args.indexOf(QStringLiteral("--sysfs-root"));
    if (rootOption >= 0 && rootOption + 1 < args.size()) {
        sysRoot = args.at(rootOption + 1);
        args.remove(rootOption, 2);
    }

    if (args != QStringList{QStringLiteral("SPUSBDataType"), QStringLiteral("-json")}) {
        std::fputs("usage: tessera-system-profiler SPUSBDataType -json\n", stderr);
        return 2;
    }
    const QByteArray json = QJsonDocument(usbReport(readUsbDevices(sysRoot))).toJson(QJsonDocument::Indented);
    std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
