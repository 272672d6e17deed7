#pragma once

#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <ostream>
#include <string>

// Readable failure messages for Qt text.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

// A phrase as a test name: ASCII letters and digits stay, every other run
// of characters becomes one underscore.
std::string testName(const char* phrase);

// Spins the event loop until the condition holds; false when the guard runs out first.
bool waitUntil(const std::function<bool()>& condition, int guardMilliseconds = 20000);

// The file's bytes; empty when it cannot be read.
QByteArray fileBytes(const QString& path);

// Writes bytes as the whole file at path, making its folder first; returns
// the path. A file that cannot be opened fails the test.
QString writeFileBytes(const QString& path, const QByteArray& bytes);

// A folder of scratch preference files for one test.
class PreferenceFiles {
public:
    QString path(const QString& name = QStringLiteral("prefs.conf")) const;
    // QSettings keeps parsed INI files cached for the whole process, so a
    // second object over the same file sees the values as written, not as
    // read from disk. A copy under a new name is parsed afresh, as a new
    // process would parse the original.
    QString copyForRestart(const QString& file);

private:
    QTemporaryDir m_dir;
    int m_restarts = 0;
};
