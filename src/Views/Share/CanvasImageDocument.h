#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <optional>

// A rendered image of a canvas, written as a PNG file. Reading gives a
// document without an image: the file's contents are never read.
class CanvasImageDocument {
public:
    explicit CanvasImageDocument(std::optional<QImage> image = std::nullopt)
        : m_image(std::move(image))
    {
    }

    static QStringList readableContentTypes() { return {QStringLiteral("image/png")}; }
    static QStringList writableContentTypes() { return readableContentTypes(); }
    static CanvasImageDocument read(const QString& filePath);

    const std::optional<QImage>& image() const { return m_image; }

    // PNG bytes of the image, one pixel per point; none without an image or
    // when encoding fails.
    std::optional<QByteArray> pngData() const;
    // Writes the PNG to filePath through a temporary file that replaces the
    // target only when complete. False, with the reason, on any failure; the
    // target is then left as it was.
    bool write(const QString& filePath, QString* errorText = nullptr) const;

private:
    std::optional<QImage> m_image;
};
