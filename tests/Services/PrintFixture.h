#pragma once

#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"
#include "Services/CanvasPrintView.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>
#include <gtest/gtest.h>
#include <optional>

// What a PDF file holds, read from its bytes.
inline int pdfPageCount(const QByteArray& pdf)
{
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![s\\w])"));
    return int(QString::fromLatin1(pdf).count(page));
}

// The first page's media box as "x y width height".
inline QString pdfMediaBox(const QByteArray& pdf)
{
    static const QRegularExpression box(QStringLiteral("/MediaBox\\s*\\[([^\\]]*)\\]"));
    QStringList numbers;
    for (const QString& number : box.match(QString::fromLatin1(pdf)).captured(1).split(u' ', Qt::SkipEmptyParts))
        numbers << QString::number(number.toDouble());
    return numbers.join(u' ');
}

// The text a reader extracts from a PDF file; empty without the tool.
inline QString pdfText(const QString& path)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (tool.isEmpty())
        return {};
    QProcess process;
    process.start(tool, {QStringLiteral("-layout"), path, QStringLiteral("-")});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The title in a PDF file's information; null without the tool.
inline QString pdfTitle(const QString& path)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdfinfo"));
    if (tool.isEmpty())
        return {};
    QProcess process;
    process.start(tool, {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path});
    process.waitForFinished(30000);
    static const QRegularExpression title(QStringLiteral("^Title:\\s*(.*)$"), QRegularExpression::MultilineOption);
    return title.match(QString::fromUtf8(process.readAllStandardOutput())).captured(1).trimmed();
}

// A canvas built row by row, laid out for print or PDF.
class PrintFixture : public ::testing::Test {
protected:
    BlockPtr addRow(const QString& label, const QString& expression, std::optional<double> result = std::nullopt,
                    const QString& color = QStringLiteral("#FF6B9D"), std::optional<double> y = std::nullopt)
    {
        const BlockPtr row =
            CalculationBlock::create(BlockType::calculation, expression, QString(), label, 20,
                                     y.value_or(double(canvas->blocks().size()) * 56), 400, 44, color);
        row->setCanvas(canvas);
        row->setResult(result);
        return row;
    }

    LinkPtr link(const BlockPtr& source, const BlockPtr& destination, const QString& name,
                 const QString& color = QStringLiteral("#00FF88"))
    {
        const LinkPtr made = Link::create(source, destination, name, color);
        made->setCanvas(canvas);
        return made;
    }

    CanvasPrintView layoutFor(ExportMode mode, bool light = false) const
    {
        PrintLayoutParameters parameters;
        parameters.mode = mode;
        parameters.canvasLightMode = light;
        return CanvasPrintView(*canvas, parameters);
    }

    PrintPage page(ExportMode mode = ExportMode::pdf, bool light = false) const
    {
        return layoutFor(mode, light).body();
    }

    static QList<PrintItem> items(const PrintPage& page, PrintItem::Role role, int row = -2)
    {
        QList<PrintItem> found;
        for (const PrintItem& item : page.items) {
            if (item.role == role && (row == -2 || item.row == row))
                found.append(item);
        }
        return found;
    }

    static QStringList texts(const PrintPage& page, PrintItem::Role role, int row = -2)
    {
        QStringList list;
        for (const PrintItem& item : items(page, role, row))
            list << item.text;
        return list;
    }

    CanvasPtr canvas = Canvas::create(QStringLiteral("Budget"), 0, 0, 1);
};
