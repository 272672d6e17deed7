#include "Engine/LinkToken.h"

#include "Engine/ExpressionText.h"
#include "Engine/ResultCurrency.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"

#include <algorithm>

namespace LinkToken {

namespace {

QString key(QStringView name)
{
    return ExpressionText::trimmedSpacesAndTabs(name).normalized(QString::NormalizationForm_C);
}

} // namespace

LinkPtr linkFor(const CalculationBlock& row, QStringView name)
{
    const QString wanted = key(name);
    for (const LinkPtr& link : row.incomingLinks()) {
        if (key(link->placeholderName()) == wanted)
            return link;
    }
    if (const CanvasPtr canvas = row.canvas()) {
        for (const LinkPtr& link : canvas->links()) {
            const BlockPtr destination = link->destinationBlock();
            if (destination.get() == &row && key(link->placeholderName()) == wanted)
                return link;
        }
    }
    return nullptr;
}

BlockPtr sourceFor(const CalculationBlock& row, QStringView name)
{
    const LinkPtr link = linkFor(row, name);
    return link ? link->sourceBlock() : nullptr;
}

namespace {

// What a token shows, `source` being the row its link comes from; `marks`
// gives the value as shown, for the source's canvas.
template <typename ShownValue>
Shown shownFrom(const BlockPtr& source, ShownValue&& shownValue)
{
    Shown result;
    result.text = QStringLiteral("?");
    if (!source)
        return result;
    const std::optional<double> value = source->result();
    if (!value) {
        result.source = Shown::Source::withoutValue;
        return result;
    }
    result.source = Shown::Source::valued;
    result.text = shownValue(*source, *value);
    result.label = ExpressionText::trimmedBlanks(source->label());
    result.colorHex = source->colorHex();
    return result;
}

template <typename ShownValue>
QString nameFrom(const BlockPtr& source, ShownValue&& shownValue)
{
    if (source) {
        const QString label = ExpressionText::trimmedBlanks(source->label());
        if (!label.isEmpty())
            return label;
    }
    return shownFrom(source, shownValue).text;
}

} // namespace

Shown shown(const CalculationBlock& row, QStringView name)
{
    return shownFrom(sourceFor(row, name), [&](const CalculationBlock& source, double value) {
        const CanvasPtr canvas = source.canvas() ? source.canvas() : row.canvas();
        return canvas ? ResultCurrency::shownValue(*canvas, source, value) : ExpressionText::formatResult(value);
    });
}

QString nameInText(const CalculationBlock& row, QStringView name)
{
    return nameFrom(sourceFor(row, name), [&](const CalculationBlock& source, double value) {
        const CanvasPtr canvas = source.canvas() ? source.canvas() : row.canvas();
        return canvas ? ResultCurrency::shownValue(*canvas, source, value) : ExpressionText::formatResult(value);
    });
}

QString missingValueMessage(const CalculationBlock& row, QStringView name)
{
    const BlockPtr source = sourceFor(row, name);
    if (!source)
        return QStringLiteral("Missing value: its source row is gone");
    // Not by the source's place in the table: rows move without the
    // message being written again.
    const QString label = ExpressionText::trimmedBlanks(source->label());
    if (label.isEmpty())
        return QStringLiteral("Missing value: its source row has none");
    return QStringLiteral("Missing value for ") + label;
}

QString fromEditedField(const QString& shown, const QList<Held>& held, const QString& edited, qsizetype caret,
                        const std::function<QString(const QString&)>& plain)
{
    // The edited stretch: what both texts share at the end (up to the
    // caret, where typing ends) and then at the start. The caret tells a
    // "?" typed next to a held "?" from the held one.
    const qsizetype common = std::min(shown.size(), edited.size());
    qsizetype suffix = 0;
    const qsizetype suffixLimit = std::clamp<qsizetype>(edited.size() - caret, 0, common);
    while (suffix < suffixLimit && shown[shown.size() - 1 - suffix] == edited[edited.size() - 1 - suffix])
        ++suffix;
    qsizetype prefix = 0;
    while (prefix < common - suffix && shown[prefix] == edited[prefix])
        ++prefix;
    const qsizetype changedEnd = shown.size() - suffix;
    const qsizetype shift = edited.size() - shown.size();

    QString result;
    qsizetype from = 0;
    for (const Held& stretch : held) {
        qsizetype at = -1;
        if (stretch.start + stretch.length <= prefix)
            at = stretch.start;
        else if (stretch.start >= changedEnd)
            at = stretch.start + shift;
        if (at < from)
            continue; // the edit reached it: the token goes with its text
        result += plain(edited.mid(from, at - from));
        result += stretch.token;
        from = at + stretch.length;
    }
    result += plain(edited.mid(from));
    return result;
}

Names::Names(const CalculationBlock& row) : m_row(row)
{
    // Backwards, so that the first link of a name is the one kept.
    const LinkList& incoming = row.incomingLinks();
    for (auto it = incoming.crbegin(); it != incoming.crend(); ++it)
        m_incoming.insert(key((*it)->placeholderName()), *it);
}

LinkPtr Names::linkFor(QStringView name)
{
    const QString wanted = key(name);
    if (const auto found = m_incoming.constFind(wanted); found != m_incoming.constEnd())
        return *found;
    if (!m_listedGathered) {
        m_listedGathered = true;
        if (const CanvasPtr canvas = m_row.canvas()) {
            const LinkList& links = canvas->links();
            for (auto it = links.crbegin(); it != links.crend(); ++it) {
                if ((*it)->destinationBlock().get() == &m_row)
                    m_listed.insert(key((*it)->placeholderName()), *it);
            }
        }
    }
    return m_listed.value(wanted);
}

QString Names::nameInText(QStringView name)
{
    const LinkPtr link = linkFor(name);
    return nameFrom(link ? link->sourceBlock() : nullptr, [&](const CalculationBlock& source, double value) {
        const CanvasPtr canvas = source.canvas() ? source.canvas() : m_row.canvas();
        if (!canvas)
            return ExpressionText::formatResult(value);
        if (!m_marks || &m_marks->canvas() != canvas.get())
            m_marks.emplace(*canvas);
        return m_marks->shownValue(source, value);
    });
}

} // namespace LinkToken
