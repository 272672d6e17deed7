#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <optional>

class QSettings;

// The defaults database: the one place where preferences are read and written.
// The INI file gives back text for most stored types after a restart, so the
// typed readers accept both the in-memory value and its text form.
class Defaults : public QObject {
    Q_OBJECT
public:
    // ~/.config/Quillsheet/Quillsheet.conf
    static Defaults& standard();
    // A database over an explicit INI file (tests, tools).
    explicit Defaults(const QString& filePath, QObject* parent = nullptr);
    ~Defaults() override;

    QString fileName() const;

    bool contains(const QString& key) const;
    QVariant value(const QString& key) const;

    // Each reader gives none when the key is missing or its value cannot be
    // read as the asked type.
    std::optional<bool> boolValue(const QString& key) const;
    std::optional<qint64> integerValue(const QString& key) const;
    std::optional<QString> stringValue(const QString& key) const;
    std::optional<QStringList> stringListValue(const QString& key) const;
    std::optional<QByteArray> dataValue(const QString& key) const;

    // Writes go to disk at once, then changed(key) is emitted.
    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);
    void sync();

Q_SIGNALS:
    void changed(const QString& key);

private:
    std::unique_ptr<QSettings> m_settings;
};
