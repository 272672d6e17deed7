#include "Views/Share/CanvasImageDocument.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(CanvasImageDocument, WritesPngAtPixelSize)
{
    QTemporaryDir dir;
    QImage image(300, 200, QImage::Format_ARGB32);
    image.fill(Qt::red);
    image.setDevicePixelRatio(2);
    const QString path = dir.filePath(QStringLiteral("Budget.png"));
    QString error;
    ASSERT_TRUE(CanvasImageDocument(image).write(path, &error)) << error.toStdString();
    QImage back(path);
    EXPECT_EQ(back.size(), QSize(300, 200));
    EXPECT_EQ(back.pixelColor(10, 10), QColor(Qt::red));
}

TEST(CanvasImageDocument, FailuresAreReportedAndLeaveTheTargetAlone)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.png"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("previous");
    }
    QString error;
    EXPECT_FALSE(CanvasImageDocument().write(path, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(CanvasImageDocument(QImage()).write(path, &error));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("previous"));

    // A folder that does not exist.
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::blue);
    error.clear();
    EXPECT_FALSE(CanvasImageDocument(image).write(dir.filePath(QStringLiteral("missing/x.png")), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("missing/x.png"))));
}

TEST(CanvasImageDocument, ReadingGivesNoImage)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.png"));
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::blue);
    image.save(path);
    EXPECT_FALSE(CanvasImageDocument::read(path).image().has_value());
    EXPECT_EQ(CanvasImageDocument::readableContentTypes(), QStringList{QStringLiteral("image/png")});
}
