#include "Platform/AppIdentity.h"

#include <QApplication>
#include <QCursor>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

// Every test process gets its own home for data and preferences, and the
// offscreen platform, so tests never touch the user's files or screen.
int main(int argc, char** argv)
{
    QTemporaryDir home;
    const QByteArray root = home.path().toUtf8();
    setenv("XDG_CONFIG_HOME", (root + "/config").constData(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").constData(), 1);
    setenv("XDG_CACHE_HOME", (root + "/cache").constData(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    unsetenv("QUILLSHEET_EXCHANGE_RATE_URL");

    QApplication app(argc, argv);
    applyApplicationIdentity();
    // The pointer stays off every test window: a window that appears under
    // it would see the pointer enter its toolbar and sidebar bands.
    QCursor::setPos(4000, 4000);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
