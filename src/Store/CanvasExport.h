#pragma once

#include "Models/CalculationBlock.h"
#include "Models/RecordPointers.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>
#include <optional>

// The exchange file: whole canvases with their rows and links as one JSON
// document. Inside a file, links name their rows by the row identifiers of
// that file; reading never reuses an identifier from the file.

// One link as written in a file.
struct LinkData {
    QUuid id;
    QUuid sourceBlockID;
    QUuid destinationBlockID;
    QString placeholderName = QStringLiteral("A");
    QString colorHex = QStringLiteral("#007AFF");
};

// One row as written in a file.
struct BlockData {
    QUuid id;
    QString blockType = QStringLiteral("calculation"); // any text; only "text" makes a text row
    QString label;
    QString textContent;
    PartMap partLabels;
    PartMap partColors;
    QString expression;
    std::optional<double> result;
    bool hasError = false;
    std::optional<QString> errorMessage;
    double positionX = 100;
    double positionY = 100;
    double width = 200;
    double height = 50;
    QString colorHex = QStringLiteral("#00D4FF");
};

// One canvas as written in a file.
struct CanvasData {
    QUuid id;
    QString name;
    std::optional<QString> titleColorHex;
    QDateTime createdAt;
    QDateTime modifiedAt;
    QList<BlockData> blocks;
    QList<LinkData> links;
    double viewportOffsetX = 0;
    double viewportOffsetY = 0;
    double viewportScale = 1;

    static CanvasData fromCanvas(const Canvas& canvas);
    // New records (new identifiers, modified now) not yet in any store. Links
    // whose two rows are not both rows of this canvas are dropped.
    CanvasPtr toCanvas() const;
};

struct CanvasExport {
    qint64 version = 1;
    QDateTime exportDate;
    QList<CanvasData> canvases;

    // The document of the given canvases, in the given order, exported now.
    static CanvasExport fromCanvases(const QList<CanvasPtr>& canvases);

    // The file's bytes: UTF-8, pretty-printed, members in ascending order,
    // "/" written as "\/". Fails (no bytes, error filled) for a number JSON
    // cannot hold or a date that cannot be written.
    std::optional<QByteArray> toJSON(QString* error = nullptr) const;

    // Reads a document leniently: missing or null members take their
    // defaults, unknown members are ignored. A member of the wrong type or
    // form, or text anywhere holding half of a surrogate pair, rejects the
    // whole document; the error says where and why, such as
    // "canvases[0].blocks[2].hasError: boolean expected".
    static std::optional<CanvasExport> fromJSON(const QByteArray& bytes, QString* error = nullptr);

    // "<name>.quillsheet" for one canvas (name unchanged), else "Canvases Export.quillsheet".
    static QString suggestedFilename(const QList<CanvasPtr>& canvases);
};

// The exchange file's bytes for these canvases; none (with the reason) when
// a value cannot be written.
std::optional<QByteArray> exchangeFileBytes(const QList<CanvasPtr>& canvases, QString* error = nullptr);

// Strict readers of the file's value forms, shared with tests.
namespace ExchangeFormat {
// "YYYY-MM-DDTHH:MM:SS" with "Z" or "±HH:MM", a real calendar date; none otherwise.
std::optional<QDateTime> parseDate(const QString& text);
// Written form: UTC, whole seconds, "Z".
QString formatDate(const QDateTime& date);
// 8-4-4-4-12 hexadecimal digits, either case, no braces; none otherwise.
std::optional<QUuid> parseIdentifier(const QString& text);
}
