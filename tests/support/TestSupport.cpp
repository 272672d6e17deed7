#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <gtest/gtest.h>

#include <cctype>

std::string testName(const char* phrase)
{
    std::string name;
    bool gap = false;
    for (const char* c = phrase; *c; ++c) {
        const unsigned char byte = static_cast<unsigned char>(*c);
        if (byte < 0x80 && std::isalnum(byte)) {
            if (gap && !name.empty())
                name += '_';
            name += char(byte);
            gap = false;
        } else {
            gap = true;
        }
    }
    return name;
}

bool waitUntil(const std::function<bool()>& condition, int guardMilliseconds)
{
    return QTest::qWaitFor(condition, guardMilliseconds);
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString writeFileBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
    return path;
}

QString PreferenceFiles::path(const QString& name) const
{
    return m_dir.filePath(name);
}

QString PreferenceFiles::copyForRestart(const QString& file)
{
    const QString copy = m_dir.filePath(QStringLiteral("restart-%1.conf").arg(++m_restarts));
    QFile::remove(copy);
    QFile::copy(file, copy);
    return copy;
}
