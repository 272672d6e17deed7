#pragma once

// The list that typing "#" at the end of an expression opens: other rows'
// results, the enabled tax rates and the enabled currencies.

#include <QColor>
#include <QList>
#include <QString>
#include <QWidget>
#include <functional>

struct AutocompleteEntry {
    enum class Kind { result, taxRate, currency };
    Kind kind = Kind::result;
    QString symbol;   // currency symbol; empty for the other kinds
    QString title;    // row name, tax label or currency name
    QString value;    // value with currency, rate with "%", or currency code
    QColor color;     // dot and value colour
    std::function<void()> action;
};

struct AutocompleteSection {
    QString header;
    QList<AutocompleteEntry> entries;
};

// The popover: a painted list whose entries act on a click or on the keys
// its field hands over. It never takes keyboard focus, so typing goes on in
// the expression field below it.
class LinkPickerPopup : public QWidget {
    Q_OBJECT
public:
    explicit LinkPickerPopup(QWidget* parent);

    void setSections(const QList<AutocompleteSection>& sections);
    const QList<AutocompleteSection>& sections() const { return m_sections; }
    void setColors(const QColor& primary, const QColor& secondary, const QColor& background, const QColor& border);
    // The arrow points up at a field above the list, or down at one below it.
    void setArrowOnTop(bool onTop);
    bool arrowOnTop() const { return m_arrowOnTop; }

    // Entries in list order, with their click targets in widget coordinates.
    int entryCount() const;
    const AutocompleteEntry& entry(int index) const;
    QRectF entryRect(int index) const;
    // Texts drawn, top to bottom (headers, entry texts, the empty text).
    QStringList shownTexts() const;

    // Where the list is cut short by the editor's edge, the wheel scrolls it.
    int scrollOffset() const { return m_scroll; }

    // The entry the keyboard points at: the first one when the list opens,
    // -1 while there is none. Moving stops at either end and scrolls the
    // entry into view.
    int highlightedEntry() const { return m_highlighted; }
    void resetHighlight();
    void moveHighlight(int steps);
    // Runs the highlighted entry's action, as a click on it does; false when
    // no entry is highlighted.
    bool activateHighlighted();

    static constexpr double minimumWidth = 200;
    static constexpr double arrowHeight = 7;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Item {
        enum class Kind { header, divider, entry, empty };
        Kind kind;
        QRectF rect;
        int section = -1;
        int entry = -1;
    };
    void layoutItems();
    int entryAt(QPointF point) const;
    const Item* entryItem(int index) const;
    QRectF bodyRect() const;
    void setScroll(int offset);
    void activate(int index);

    QList<AutocompleteSection> m_sections;
    QList<Item> m_items;
    QSizeF m_contentSize;
    QColor m_primary = Qt::white;
    QColor m_secondary = QColor(235, 235, 245, 153);
    QColor m_background = QColor(40, 40, 44, 235);
    QColor m_border = QColor(255, 255, 255, 40);
    int m_pressed = -1;
    int m_highlighted = -1;
    bool m_arrowOnTop = true;
    int m_scroll = 0;
};
