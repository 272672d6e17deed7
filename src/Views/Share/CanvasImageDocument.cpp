#include "Views/Share/CanvasImageDocument.h"

#include "Platform/FileWriting.h"

#include <QBuffer>

CanvasImageDocument CanvasImageDocument::read(const QString& filePath)
{
    Q_UNUSED(filePath)
    return CanvasImageDocument();
}

std::optional<QByteArray> CanvasImageDocument::pngData() const
{
    if (!m_image || m_image->isNull())
        return std::nullopt;
    QImage image = *m_image;
    // One point per pixel, whatever the screen's scale.
    image.setDevicePixelRatio(1);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG") || data.isEmpty())
        return std::nullopt;
    return data;
}

bool CanvasImageDocument::write(const QString& filePath, QString* errorText) const
{
    auto fail = [&](const QString& reason) {
        if (errorText)
            *errorText = reason;
        return false;
    };
    const std::optional<QByteArray> data = pngData();
    if (!data)
        return fail(QStringLiteral("The image could not be written as PNG."));
    if (const auto why = FileWriting::writeWholeFile(filePath, *data))
        return fail(*why);
    return true;
}
