#include "Views/Canvas/CanvasLinkPicker.h"

#include "Services/TextFit.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr double sidePadding = 12;
constexpr double itemSpacing = 10;
constexpr double minimumSpacer = 8;
// The accent at a quarter, as behind a selected row: reads on either canvas.
const QColor highlightColor(10, 132, 255, 64);
// A title is measured no further than this: the popup never grows past its
// editor, and a label can be as long as an imported file made it.
constexpr double widestMeasured = 4000;

QFont systemFont(int pixels, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

QFont monospacedFont(int pixels, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

QFont headerFont() { return systemFont(11, QFont::Medium); }
QFont titleFont() { return systemFont(13, QFont::Medium); }
QFont emptyFont() { return systemFont(13, QFont::Normal); }
QFont valueFont() { return monospacedFont(13, QFont::DemiBold); }
QFont currencySymbolFont() { return systemFont(12, QFont::Bold); }
QFont percentFont() { return systemFont(10, QFont::Bold); }

double leadWidth(AutocompleteEntry::Kind kind)
{
    return kind == AutocompleteEntry::Kind::currency ? 20 : 8;
}

double entryHeight()
{
    const double text = std::max(QFontMetricsF(titleFont()).height(), QFontMetricsF(valueFont()).height());
    return text + 12;
}

} // namespace

LinkPickerPopup::LinkPickerPopup(QWidget* parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_NoMousePropagation);
    setCursor(Qt::ArrowCursor);
    layoutItems();
}

void LinkPickerPopup::setSections(const QList<AutocompleteSection>& sections)
{
    m_sections.clear();
    for (const AutocompleteSection& section : sections) {
        if (!section.entries.isEmpty())
            m_sections.append(section);
    }
    m_pressed = -1;
    layoutItems();
    // A list rebuilt while open keeps its highlight where it can.
    m_highlighted = entryCount() == 0 ? -1 : std::clamp(m_highlighted, 0, entryCount() - 1);
    setScroll(m_scroll);
    updateGeometry();
    update();
}

void LinkPickerPopup::setColors(const QColor& primary, const QColor& secondary, const QColor& background,
                                const QColor& border)
{
    m_primary = primary;
    m_secondary = secondary;
    m_background = background;
    m_border = border;
    update();
}

void LinkPickerPopup::setArrowOnTop(bool onTop)
{
    if (m_arrowOnTop == onTop)
        return;
    m_arrowOnTop = onTop;
    layoutItems();
    update();
}

void LinkPickerPopup::layoutItems()
{
    m_items.clear();
    double width = minimumWidth;
    for (const AutocompleteSection& section : m_sections) {
        width = std::max(width, sidePadding * 2 + QFontMetricsF(headerFont()).horizontalAdvance(section.header));
        for (const AutocompleteEntry& entry : section.entries) {
            const double needed = sidePadding + leadWidth(entry.kind) + itemSpacing
                + TextFit(titleFont()).boundedAdvance(entry.title, widestMeasured) + itemSpacing + minimumSpacer
                + itemSpacing
                + QFontMetricsF(valueFont()).horizontalAdvance(entry.value) + sidePadding;
            width = std::max(width, std::ceil(needed));
        }
    }
    if (m_sections.isEmpty()) {
        width = std::max(width, std::ceil(sidePadding * 2
                                          + QFontMetricsF(emptyFont()).horizontalAdvance(
                                              QStringLiteral("No items available"))));
    }

    double y = m_arrowOnTop ? arrowHeight : 0;
    const double headerHeight = QFontMetricsF(headerFont()).height();
    const double rowHeight = entryHeight();
    for (int s = 0; s < m_sections.size(); ++s) {
        if (s > 0) {
            y += 4;
            m_items.append({Item::Kind::divider, QRectF(0, y, width, 1), s, -1});
            y += 1 + 4;
        }
        const double top = s == 0 ? 8 : 0;
        m_items.append({Item::Kind::header, QRectF(sidePadding, y + top, width - 2 * sidePadding, headerHeight), s, -1});
        y += top + headerHeight + 4;
        for (int e = 0; e < m_sections[s].entries.size(); ++e) {
            m_items.append({Item::Kind::entry, QRectF(0, y, width, rowHeight), s, e});
            y += rowHeight;
        }
    }
    if (m_sections.isEmpty()) {
        const double height = QFontMetricsF(emptyFont()).height();
        m_items.append({Item::Kind::empty, QRectF(sidePadding, y + 12, width - 2 * sidePadding, height), -1, -1});
        y += 12 + height + 12;
    }
    m_contentSize = QSizeF(width, m_arrowOnTop ? y : y + arrowHeight);
}

QSize LinkPickerPopup::sizeHint() const
{
    return QSizeF(std::ceil(m_contentSize.width()), std::ceil(m_contentSize.height())).toSize();
}

int LinkPickerPopup::entryCount() const
{
    int count = 0;
    for (const AutocompleteSection& section : m_sections)
        count += int(section.entries.size());
    return count;
}

const LinkPickerPopup::Item* LinkPickerPopup::entryItem(int index) const
{
    int seen = 0;
    for (const Item& item : m_items) {
        if (item.kind != Item::Kind::entry)
            continue;
        if (seen++ == index)
            return &item;
    }
    return nullptr;
}

const AutocompleteEntry& LinkPickerPopup::entry(int index) const
{
    const Item* item = entryItem(index);
    Q_ASSERT(item);
    return m_sections[item->section].entries[item->entry];
}

QRectF LinkPickerPopup::entryRect(int index) const
{
    const Item* item = entryItem(index);
    if (!item)
        return {};
    // Entries span the popup's width, whatever it was stretched to.
    return QRectF(0, item->rect.top() - m_scroll, width(), item->rect.height());
}

QRectF LinkPickerPopup::bodyRect() const
{
    return m_arrowOnTop ? QRectF(0, arrowHeight, width(), height() - arrowHeight)
                        : QRectF(0, 0, width(), height() - arrowHeight);
}

void LinkPickerPopup::setScroll(int offset)
{
    const int overflow = std::max(0, int(std::ceil(m_contentSize.height())) - height());
    const int clamped = std::clamp(offset, 0, overflow);
    if (clamped != m_scroll) {
        m_scroll = clamped;
        update();
    }
}

void LinkPickerPopup::resetHighlight()
{
    m_highlighted = entryCount() == 0 ? -1 : 0;
    setScroll(0);
    update();
}

void LinkPickerPopup::moveHighlight(int steps)
{
    if (entryCount() == 0)
        return;
    m_highlighted = std::clamp(m_highlighted + steps, 0, entryCount() - 1);
    // Into view inside the body, whose top and bottom the arrow may take.
    const Item* item = entryItem(m_highlighted);
    const QRectF body = bodyRect();
    const double top = item->rect.top() - body.top();
    const double bottom = item->rect.bottom() - body.top() - body.height();
    if (top < m_scroll)
        setScroll(int(std::floor(top)));
    else if (bottom > m_scroll)
        setScroll(int(std::ceil(bottom)));
    update();
}

bool LinkPickerPopup::activateHighlighted()
{
    if (m_highlighted < 0 || m_highlighted >= entryCount())
        return false;
    activate(m_highlighted);
    return true;
}

void LinkPickerPopup::activate(int index)
{
    // The action may rebuild or hide this list; keep a copy of it.
    const std::function<void()> action = entry(index).action;
    if (action)
        action();
}

void LinkPickerPopup::wheelEvent(QWheelEvent* event)
{
    event->accept();
    setScroll(m_scroll - event->angleDelta().y() / 4);
}

void LinkPickerPopup::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    setScroll(m_scroll);
}

QStringList LinkPickerPopup::shownTexts() const
{
    QStringList texts;
    for (const Item& item : m_items) {
        switch (item.kind) {
        case Item::Kind::header:
            texts.append(m_sections[item.section].header);
            break;
        case Item::Kind::divider:
            texts.append(QStringLiteral("—"));
            break;
        case Item::Kind::entry: {
            const AutocompleteEntry& entry = m_sections[item.section].entries[item.entry];
            QStringList parts;
            if (!entry.symbol.isEmpty())
                parts.append(entry.symbol);
            parts.append(entry.title);
            parts.append(entry.value);
            texts.append(parts.join(QLatin1Char(' ')));
            break;
        }
        case Item::Kind::empty:
            texts.append(QStringLiteral("No items available"));
            break;
        }
    }
    return texts;
}

int LinkPickerPopup::entryAt(QPointF point) const
{
    if (!bodyRect().contains(point))
        return -1;
    for (int i = 0; i < entryCount(); ++i) {
        if (entryRect(i).contains(point))
            return i;
    }
    return -1;
}

void LinkPickerPopup::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const double w = width();

    // The body with its arrow pointing at the field it belongs to.
    const double bodyTop = m_arrowOnTop ? arrowHeight : 0;
    const double bodyBottom = m_arrowOnTop ? height() : height() - arrowHeight;
    QPainterPath shape;
    shape.addRoundedRect(QRectF(0.5, bodyTop + 0.5, w - 1, bodyBottom - bodyTop - 1), 10, 10);
    QPainterPath arrow;
    const double tip = 24;
    const double base = m_arrowOnTop ? bodyTop + 1 : bodyBottom - 1;
    arrow.moveTo(tip - arrowHeight - 1, base);
    arrow.lineTo(tip, m_arrowOnTop ? 0.5 : height() - 0.5);
    arrow.lineTo(tip + arrowHeight + 1, base);
    arrow.closeSubpath();
    shape = shape.united(arrow);
    painter.setPen(QPen(m_border, 1));
    painter.setBrush(m_background);
    painter.drawPath(shape);

    painter.setClipRect(bodyRect().adjusted(0, 1, 0, -1));
    painter.translate(0, -m_scroll);
    for (const Item& item : m_items) {
        switch (item.kind) {
        case Item::Kind::header:
            painter.setFont(headerFont());
            painter.setPen(m_secondary);
            painter.drawText(item.rect, Qt::AlignLeft | Qt::AlignVCenter, m_sections[item.section].header);
            break;
        case Item::Kind::divider:
            painter.setPen(QPen(m_border, 1));
            painter.drawLine(QPointF(0, item.rect.center().y()), QPointF(w, item.rect.center().y()));
            break;
        case Item::Kind::empty:
            painter.setFont(emptyFont());
            painter.setPen(m_secondary);
            painter.drawText(item.rect, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("No items available"));
            break;
        case Item::Kind::entry: {
            const AutocompleteEntry& entry = m_sections[item.section].entries[item.entry];
            const QRectF row(0, item.rect.top(), w, item.rect.height());
            const QRectF inner = row.adjusted(sidePadding, 6, -sidePadding, -6);
            if (m_highlighted >= 0 && entryItem(m_highlighted) == &item) {
                painter.setPen(Qt::NoPen);
                painter.setBrush(highlightColor);
                painter.drawRoundedRect(row.adjusted(4, 1, -4, -1), 6, 6);
            }
            painter.save();
            if (m_pressed >= 0 && entryItem(m_pressed) == &item)
                painter.setOpacity(0.7);
            const double lead = leadWidth(entry.kind);
            const QRectF leadRect(inner.left(), inner.top(), lead, inner.height());
            switch (entry.kind) {
            case AutocompleteEntry::Kind::result:
                painter.setPen(Qt::NoPen);
                painter.setBrush(entry.color);
                painter.drawEllipse(QRectF(leadRect.left(), leadRect.center().y() - 4, 8, 8));
                break;
            case AutocompleteEntry::Kind::taxRate:
                painter.setFont(percentFont());
                painter.setPen(entry.color);
                painter.drawText(leadRect.adjusted(-4, 0, 4, 0), Qt::AlignCenter, QStringLiteral("%"));
                break;
            case AutocompleteEntry::Kind::currency: {
                // A long symbol ("CHF") is drawn smaller to fit its frame.
                QFont font = currencySymbolFont();
                const double natural = QFontMetricsF(font).horizontalAdvance(entry.symbol);
                if (natural > lead)
                    font.setPixelSize(std::max(7, int(font.pixelSize() * lead / natural)));
                painter.setFont(font);
                painter.setPen(entry.color);
                painter.drawText(leadRect, Qt::AlignCenter, entry.symbol);
                break;
            }
            }
            const double valueWidth = QFontMetricsF(valueFont()).horizontalAdvance(entry.value);
            const double titleLeft = leadRect.right() + itemSpacing;
            const double titleRight = inner.right() - valueWidth - itemSpacing - minimumSpacer - itemSpacing;
            painter.setFont(titleFont());
            painter.setPen(m_primary);
            const double titleWidth = std::max(0.0, titleRight - titleLeft);
            const QString title = TextFit(titleFont()).elidedRight(entry.title, int(titleWidth));
            painter.drawText(QRectF(titleLeft, inner.top(), std::max(0.0, titleRight - titleLeft), inner.height()),
                             Qt::AlignLeft | Qt::AlignVCenter, title);
            painter.setFont(valueFont());
            painter.setPen(entry.color);
            painter.drawText(inner, Qt::AlignRight | Qt::AlignVCenter, entry.value);
            painter.restore();
            break;
        }
        }
    }
}

void LinkPickerPopup::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    m_pressed = entryAt(event->position());
    update();
}

void LinkPickerPopup::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    const int pressed = m_pressed;
    m_pressed = -1;
    update();
    if (event->button() != Qt::LeftButton || pressed < 0 || entryAt(event->position()) != pressed)
        return;
    activate(pressed);
}
