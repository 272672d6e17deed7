#include "Platform/Defaults.h"

#include <QSettings>
#include <QStandardPaths>
#include <cmath>
#include <limits>

Defaults& Defaults::standard()
{
    // The user-scope INI constructor would name the file ".ini"; the folder is the same.
    static Defaults defaults(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                             + QStringLiteral("/Quillsheet/Quillsheet.conf"));
    return defaults;
}

Defaults::Defaults(const QString& filePath, QObject* parent)
    : QObject(parent)
    , m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{
}

Defaults::~Defaults() = default;

QString Defaults::fileName() const
{
    return m_settings->fileName();
}

bool Defaults::contains(const QString& key) const
{
    return m_settings->contains(key);
}

QVariant Defaults::value(const QString& key) const
{
    return m_settings->value(key);
}

std::optional<bool> Defaults::boolValue(const QString& key) const
{
    if (!contains(key))
        return std::nullopt;
    const QVariant v = value(key);
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool();
    case QMetaType::QString: {
        const QString text = v.toString().trimmed().toLower();
        if (text == QLatin1String("true") || text == QLatin1String("1"))
            return true;
        if (text == QLatin1String("false") || text == QLatin1String("0"))
            return false;
        return std::nullopt;
    }
    default:
        if (const auto number = integerValue(key)) {
            if (*number == 0 || *number == 1)
                return *number == 1;
        }
        return std::nullopt;
    }
}

std::optional<qint64> Defaults::integerValue(const QString& key) const
{
    if (!contains(key))
        return std::nullopt;
    const QVariant v = value(key);
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::UInt:
        return v.toLongLong();
    case QMetaType::ULongLong: {
        const qulonglong u = v.toULongLong();
        if (u > qulonglong(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return qint64(u);
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = v.toDouble();
        // Only whole numbers that fit; 2^63 itself does not.
        if (!std::isfinite(d) || d != std::trunc(d) || d < -9.2233720368547758e18 || d >= 9.2233720368547758e18)
            return std::nullopt;
        return qint64(d);
    }
    case QMetaType::QString: {
        bool ok = false;
        const qint64 n = v.toString().trimmed().toLongLong(&ok);
        return ok ? std::optional<qint64>(n) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<QString> Defaults::stringValue(const QString& key) const
{
    if (!contains(key))
        return std::nullopt;
    const QVariant v = value(key);
    switch (v.typeId()) {
    case QMetaType::QString:
        return v.toString();
    case QMetaType::QStringList: {
        // What a one-element list turns into on disk; read it the same way before.
        const QStringList list = v.toStringList();
        if (list.size() == 1)
            return list.first();
        return std::nullopt;
    }
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return v.toString();
    default:
        return std::nullopt;
    }
}

std::optional<QStringList> Defaults::stringListValue(const QString& key) const
{
    if (!contains(key))
        return std::nullopt;
    const QVariant v = value(key);
    switch (v.typeId()) {
    case QMetaType::QStringList:
        return v.toStringList();
    case QMetaType::QString:
        // A one-element list reads back as plain text.
        return QStringList{v.toString()};
    case QMetaType::QVariantList: {
        QStringList list;
        for (const QVariant& element : v.toList()) {
            if (element.typeId() != QMetaType::QString)
                return std::nullopt;
            list.append(element.toString());
        }
        return list;
    }
    case QMetaType::UnknownType:
        // An empty list is written as an invalid value.
        return QStringList{};
    default:
        return std::nullopt;
    }
}

std::optional<QByteArray> Defaults::dataValue(const QString& key) const
{
    if (!contains(key))
        return std::nullopt;
    const QVariant v = value(key);
    if (v.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return v.toByteArray();
}

void Defaults::setValue(const QString& key, const QVariant& value)
{
    m_settings->setValue(key, value);
    m_settings->sync();
    Q_EMIT changed(key);
}

void Defaults::remove(const QString& key)
{
    m_settings->remove(key);
    m_settings->sync();
    Q_EMIT changed(key);
}

void Defaults::sync()
{
    m_settings->sync();
}

// Meta-object code built with this file, so linking the class pulls in no other class's.
#include "moc_Defaults.cpp"
