// The "#" picker: what it lists, where it stands, and what a pick inserts.

#include "Views/Canvas/CanvasLinkPicker.h"
#include "Views/Canvas/CanvasView.h"
#include "Views/Canvas/CanvasViewWidgets.h"

#include "Engine/CalculatorEngine.h"
#include "Engine/ExpressionText.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"

#include <QKeyEvent>
#include <QScrollArea>
#include <QScrollBar>

#include <cmath>

namespace {

QColor systemOrange(bool light)
{
    return light ? QColor(255, 149, 0) : QColor(255, 159, 10);
}

QColor systemGreen(bool light)
{
    return light ? QColor(52, 199, 89) : QColor(48, 209, 88);
}

// The field keeps the keyboard while the picker shows; this hands the picker
// the keys of a completion list and closes it when the field is left.
class PickerFieldWatcher : public QObject {
public:
    PickerFieldWatcher(LinkPickerPopup* popup, std::function<void()> dismiss)
        : QObject(popup)
        , m_popup(popup)
        , m_dismiss(std::move(dismiss))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!m_popup->isVisible())
            return false;
        if (event->type() == QEvent::KeyPress && pickerKey(static_cast<QKeyEvent*>(event)))
            return true;
        if (event->type() == QEvent::FocusOut) {
            // A menu or another window taking focus for a while is no dismissal.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
                m_dismiss();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool pickerKey(QKeyEvent* event)
    {
        if (event->key() == Qt::Key_Escape) {
            m_dismiss(); // the typed text stays as it is
            return true;
        }
        // With a modifier held the keys keep their meaning for the canvas.
        if (event->modifiers() & ~Qt::KeypadModifier)
            return false;
        switch (event->key()) {
        case Qt::Key_Up:
            m_popup->moveHighlight(-1);
            return true;
        case Qt::Key_Down:
            m_popup->moveHighlight(1);
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Tab:
            // An empty list takes nothing: the key does what it does without it.
            return m_popup->activateHighlighted();
        default:
            return false;
        }
    }

    LinkPickerPopup* m_popup;
    std::function<void()> m_dismiss;
};

} // namespace

// ---- Names and texts ----

QString CanvasView::pickedLinkName(const BlockPtr& source, const BlockPtr& target)
{
    QString base = source->label().trimmed();
    // A name is written between braces and ends at a colon: those characters
    // would cut the token short, and the link would show no value.
    base.remove(QLatin1Char(':')).remove(QLatin1Char('{')).remove(QLatin1Char('}'));
    base = base.trimmed();
    if (base.isEmpty())
        base = QStringLiteral("Result") + source->id().toString(QUuid::WithoutBraces).left(4).toUpper();
    // Another row's value under the same name would be read twice; the
    // same row picked again keeps its name.
    for (int n = 1;; ++n) {
        const QString candidate = n == 1 ? base : base + QString::number(n);
        bool takenByOther = false;
        for (const LinkPtr& link : target->incomingLinks()) {
            if (link->placeholderName() == candidate && link->sourceBlock() != source) {
                takenByOther = true;
                break;
            }
        }
        if (!takenByOther)
            return candidate;
    }
}

std::optional<QString> CanvasView::taxRateText(double rate, DecimalStyle style)
{
    if (!std::isfinite(rate))
        return std::nullopt;
    if (rate == 0)
        return QStringLiteral("0"); // never "-0"
    // Always positional (1e20 stays digits), "." or "," as the style reads it.
    QString text = ExpressionText::plainNumber(rate);
    if (style == DecimalStyle::germanComma)
        text.replace(QLatin1Char('.'), QLatin1Char(','));
    return text;
}

// ---- Insertions ----

void CanvasView::dropTrailingHash(const BlockPtr& target)
{
    QString expression = target->expression();
    if (expression.endsWith(QLatin1Char('#'))) {
        expression.chop(1);
        target->setExpression(expression);
    }
}

void CanvasView::finishPick(const BlockPtr& target)
{
    setShowLinkAutocomplete(false);
    CalculatorEngine::shared().evaluateBlock(target);
    m_canvas->touch();
    syncExpressionField(target);
    refresh();
}

void CanvasView::insertLinkToBlock(const BlockPtr& source, const BlockPtr& target)
{
    // A link from the row itself or from a row it feeds would close a cycle.
    if (!source || !target || source == target || rowsDependingOn(target).contains(source->id())) {
        setShowLinkAutocomplete(false);
        return;
    }
    dropTrailingHash(target);
    const QString name = pickedLinkName(source, target);
    target->setExpression(target->expression() + QLatin1Char('{') + name + QLatin1Char(':') + source->colorHex()
                          + QLatin1Char('}'));
    const LinkPtr link = Link::create(source, target, name, source->colorHex());
    link->setCanvas(m_canvas);
    m_canvas->appendLink(link);
    finishPick(target);
}

void CanvasView::insertTaxRate(const CalcSettings::TaxRate& rate, const BlockPtr& target)
{
    const std::optional<QString> text = taxRateText(rate.rate, CalcSettings::shared().decimalStyle());
    if (!text) {
        setShowLinkAutocomplete(false);
        return;
    }
    dropTrailingHash(target);
    target->setExpression(target->expression() + *text + QLatin1Char('%'));
    if (target->label().isEmpty())
        target->setLabel(QStringLiteral("inkl. ") + *text + QStringLiteral("% ") + rate.label);
    finishPick(target);
}

void CanvasView::insertCurrency(const QString& text, const BlockPtr& target)
{
    dropTrailingHash(target);
    target->setExpression(target->expression() + text);
    finishPick(target);
}

void CanvasView::syncExpressionField(const BlockPtr& block)
{
    // The open field shows what was just written into its row; left alone,
    // the next keystroke would write its stale text back.
    if (!m_expressionField->isVisible() || m_expressionField->property("blockID").toUuid() != block->id())
        return;
    const QString text = expressionWithLineNumbers(block);
    if (m_expressionField->text() != text) {
        m_expressionField->setText(text);
        m_expressionField->end(false);
    }
}

// ---- The list ----

QList<AutocompleteSection> CanvasView::slickAutocompletePopup(const BlockPtr& target)
{
    const bool light = canvasLightMode();
    const std::weak_ptr<CalculationBlock> weakTarget = target;
    const BlockList table = sortedBlocks();
    const QSet<QUuid> downstream = rowsDependingOn(target);

    AutocompleteSection results{QStringLiteral("Results"), {}};
    for (const BlockPtr& row : m_canvas->blocks()) {
        if (row->id() == target->id() || !row->result() || downstream.contains(row->id()))
            continue;
        AutocompleteEntry entry;
        entry.kind = AutocompleteEntry::Kind::result;
        entry.title = row->label().isEmpty()
            ? QStringLiteral("Row ") + QString::number(table.indexOf(row) + 1)
            : row->label();
        entry.value = formatTableValue(*row->result());
        if (const std::optional<QString> currency = effectiveCurrency(row))
            entry.value += QLatin1Char(' ') + *currency;
        entry.color = shownColor(rowColor(*row));
        const std::weak_ptr<CalculationBlock> weakSource = row;
        entry.action = [this, weakSource, weakTarget] {
            const BlockPtr source = weakSource.lock();
            const BlockPtr into = weakTarget.lock();
            if (source && into)
                insertLinkToBlock(source, into);
        };
        results.entries.append(entry);
    }

    AutocompleteSection taxRates{QStringLiteral("Tax Rates"), {}};
    const DecimalStyle style = CalcSettings::shared().decimalStyle();
    for (const CalcSettings::TaxRate& rate : CalcSettings::shared().enabledTaxRates()) {
        // The list shows what a pick inserts.
        const std::optional<QString> text = taxRateText(rate.rate, style);
        if (!text)
            continue;
        AutocompleteEntry entry;
        entry.kind = AutocompleteEntry::Kind::taxRate;
        entry.title = rate.label;
        entry.value = *text + QLatin1Char('%');
        entry.color = systemOrange(light);
        entry.action = [this, rate, weakTarget] {
            if (const BlockPtr into = weakTarget.lock())
                insertTaxRate(rate, into);
        };
        taxRates.entries.append(entry);
    }

    AutocompleteSection currencies{QStringLiteral("Currencies"), {}};
    for (const CalcSettings::Currency& currency : CalcSettings::shared().enabledCurrencies()) {
        AutocompleteEntry entry;
        entry.kind = AutocompleteEntry::Kind::currency;
        entry.symbol = currency.symbol;
        entry.title = currency.name;
        entry.value = currency.code;
        entry.color = systemGreen(light);
        const QString symbol = currency.symbol;
        entry.action = [this, symbol, weakTarget] {
            if (const BlockPtr into = weakTarget.lock())
                insertCurrency(symbol, into);
        };
        currencies.entries.append(entry);
    }

    QList<AutocompleteSection> sections;
    for (const AutocompleteSection& section : {results, taxRates, currencies}) {
        if (!section.entries.isEmpty())
            sections.append(section);
    }
    return sections;
}

// ---- The popover ----

LinkPickerPopup* CanvasView::linkPicker() const
{
    return m_linkPicker;
}

void CanvasView::updateLinkPicker()
{
    const BlockPtr target = m_showLinkAutocomplete ? blockWithId(m_linkAutocompleteBlockID) : nullptr;
    const int index = target ? indexOfBlock(target->id()) : -1;
    if (index < 0) {
        if (m_linkPicker)
            m_linkPicker->hide();
        return;
    }
    if (!m_linkPicker) {
        m_linkPicker = new LinkPickerPopup(this);
        m_linkPicker->hide();
        // A click on the list finds the field focused and leaves it so,
        // instead of handing focus to the editor behind the list.
        m_linkPicker->setFocusProxy(m_expressionField);
        m_pickerWatcher = new PickerFieldWatcher(m_linkPicker, [this] { setShowLinkAutocomplete(false); });
        m_expressionField->installEventFilter(m_pickerWatcher);
        connect(m_scrollArea->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { updateLinkPicker(); });
    }
    const Palette colors = canvasColors();
    const bool light = canvasLightMode();
    m_linkPicker->setColors(colors.text, colors.secondary,
                            light ? QColor(246, 246, 246) : QColor(36, 36, 40),
                            light ? QColor(0, 0, 0, 40) : QColor(255, 255, 255, 40));
    const bool opening = m_linkPicker->isHidden();
    m_linkPicker->setSections(slickAutocompletePopup(target));
    if (opening)
        m_linkPicker->resetHighlight();

    // Under the leading end of the row's expression field, or above it when
    // there is more room there than below.
    const QRectF cell = expressionRect(index);
    const QPoint below = m_table->mapTo(this, QPointF(cell.left(), cell.center().y() + 17).toPoint());
    const QPoint above = m_table->mapTo(this, QPointF(cell.left(), cell.center().y() - 17).toPoint());
    const int needed = m_linkPicker->sizeHint().height();
    const int roomBelow = height() - below.y();
    const int roomAbove = above.y();
    const bool onTop = needed <= roomBelow || roomBelow >= roomAbove;
    m_linkPicker->setArrowOnTop(onTop);
    // Cut short at the editor's edge; the rest scrolls.
    QSize size = m_linkPicker->sizeHint();
    size.setHeight(std::max(0, std::min(size.height(), onTop ? roomBelow : roomAbove)));
    // and never wider than the editor (a long label's entry is cut with "…").
    size.setWidth(std::min(size.width(), std::max(0, width())));
    const int x = std::clamp(below.x() - 12, 0, std::max(0, width() - size.width()));
    const int y = onTop ? below.y() : above.y() - size.height();
    m_linkPicker->setGeometry(QRect(QPoint(x, y), size));
    m_linkPicker->raise();
    m_linkPicker->show();
}
