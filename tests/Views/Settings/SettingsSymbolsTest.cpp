#include "Services/SyncStatusMonitor.h"
#include "Views/Settings/SettingsSymbols.h"

#include <QImage>
#include <QSet>
#include <gtest/gtest.h>

namespace {

// Inked pixels of a symbol; none means the symbol would show as a blank button.
int inked(const QString& name)
{
    const QImage image = settingsSymbolIcon(name, QColor(0x0a, 0x84, 0xff), 16).pixmap(16, 16).toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 0;
    return count;
}

TEST(SettingsSymbolsTest, EverySymbolOfTheSettingsAndTheSyncStatusIsDrawnAndDistinct)
{
    QStringList names{"gearshape", "xmark", "arrow.clockwise", "envelope.badge", "checkmark.circle.fill",
                      "xmark.circle.fill"};
    using Status = SyncStatusMonitor::SyncStatus;
    for (const Status& status : {Status::idle(), Status::syncing(), Status::synced(), Status::disabled(),
                                 Status::offline(), Status::error("x")})
        names << SyncStatusMonitor::presentation(status).symbolName;
    QSet<QByteArray> drawings;
    for (const QString& name : names) {
        EXPECT_GT(inked(name), 10) << name.toStdString();
        const QImage image = settingsSymbolIcon(name, QColor(0x0a, 0x84, 0xff), 16).pixmap(16, 16).toImage();
        drawings.insert(QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()));
    }
    EXPECT_EQ(drawings.size(), names.size()) << "no two symbols look alike";
}

} // namespace
