#pragma once

#include "Engine/LinkToken.h"
#include "Models/CalcSettings.h"
#include "Models/RecordPointers.h"
#include "Models/RowPlacement.h"
#include "Services/TextFit.h"
#include "Views/Canvas/TableExpressionPart.h"

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QImage>
#include <QPainterPath>
#include <QPen>
#include <QLoggingCategory>
#include <QPointF>
#include <QRectF>
#include <QRegularExpression>
#include <QSet>
#include <QSizeF>
#include <QStaticText>
#include <QStringList>
#include <QUuid>
#include <QWidget>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>

class CalculatorKeypad;
class CanvasTableSurface;
struct CanvasKey;
class InlineTitleField;
class LinkPickerPopup;
struct AutocompleteSection;
class ModelContext;
class QAction;
class QHelpEvent;
class QKeyEvent;
class QMenu;
class QPainter;
class QScrollArea;
class QUndoStack;
class QVariantAnimation;
class RowTextField;

Q_DECLARE_LOGGING_CATEGORY(canvasLogger)

// A link being dragged out of a row's result, in table coordinates.
struct TemporaryLink {
    BlockPtr sourceBlock;
    QPointF startPoint;
    QPointF currentPoint;
};

// A number being dragged out of an expression (declared; nothing starts one yet).
struct TemporaryNumberDrag {
    QString value;
    QPointF startPoint;
    QPointF currentPoint;
};

// What a sum keyword step on the undo stack puts back of a row: its label,
// expression, kind and the links into it.
struct SumKeywordState {
    struct Incoming {
        QUuid id;
        QUuid sourceID;
        QString placeholderName;
        QString colorHex;
    };
    QString expression;
    bool textRow = false;
    QList<Incoming> links;
    bool holdsSum = false;
};

// The editor of one canvas: a header with the title, one table row per
// CalculationBlock in sortedBlocks() order, and below them an area that adds
// a row when clicked.
//
// Rows are painted; only the field that has keyboard focus is a real line
// edit, laid over its row. That keeps large canvases fast to open and type in.
class CanvasView : public QWidget {
    Q_OBJECT
public:
    // modelContext and undoStack may be null (tests, previews).
    CanvasView(const CanvasPtr& canvas, ModelContext* modelContext, QUndoStack* undoStack,
               QWidget* parent = nullptr);
    ~CanvasView() override;

    // Layout constants, in device-independent pixels.
    static constexpr double startX = 20;
    static constexpr double startY = RowPlacement::startY;
    static constexpr double tableRowHeight = 56;
    static constexpr double lineHeight = RowPlacement::lineHeight;
    static constexpr double minLabelColumnWidth = 120;
    static constexpr double maxLabelColumnWidth = 350;
    // What a narrow window leaves the expressions before labels are cut:
    // the start of an expression, eight characters and "…" at least.
    static constexpr double minExpressionColumnWidth = 180;
    static constexpr double linksMarginWidth = 60;
    static constexpr double minResultColumnWidth = 140;
    static constexpr double maxResultColumnWidth = 220;
    static constexpr double tappableAreaHeight = 200;
    static constexpr double tableTopPadding = 20;
    static const QStringList& blockColors();

    const CanvasPtr& canvas() const { return m_canvas; }
    ModelContext* modelContext() const { return m_modelContext; }
    QUndoStack* undoStack() const { return m_undoStack; }

    // ---- Pure helpers (no widget needed) ----
    // Rows by ascending positionY; equal positions keep their stored order.
    static BlockList sortedBlocks(const BlockList& blocks);
    static double labelColumnWidth(const BlockList& blocks);
    static double tableResultColumnWidth(const BlockList& blocks);
    // User-perceived characters.
    static int characterCount(const QString& text);

    // Table text of a value: at most two decimals, rounded half to even on
    // the shortest decimal form of the value, no grouping, "," before the
    // fraction, never "-0".
    static QString formatTableValue(double value);
    static QString colorName(const QString& hex);
    // A row's colour; cyan when its text does not read.
    static QColor rowColor(const CalculationBlock& block);
    // On a light canvas row, part, label and link colours are drawn darker,
    // as on a printed page, and never fainter than 3:1 against white; the
    // stored colours stay as they are.
    static QColor lightCanvasColor(const QColor& color);
    // A row, part or link colour as this canvas draws it.
    QColor shownColor(const QColor& color) const;
    // A shown colour faded for secondary text (labels). On a light canvas
    // the fading is done against white and stays readable (3:1 at least).
    QColor fadedColor(const QColor& shown, double alpha) const;

    static const QRegularExpression& placeholderRegex();
    static const QRegularExpression& lineNumberRegex();

    static TableExpressionParts parseExpressionParts(const QString& expression);
    static TableExpressionPart classifyTablePart(const QString& run);
    static IndexedExpressionParts assignNumberIndicesToParts(const TableExpressionParts& parts);

    // True when rect overlaps the frame, grown by 10 on every side, of any
    // row other than `excluding`.
    static bool checkCollision(const BlockList& blocks, const QRectF& rect,
                               const std::optional<QUuid>& excluding = std::nullopt);
    // A free spot for a row of `size`, searched in rings around `at`. With
    // `below`, only spots lower than that y count, so that a row added from
    // another stands after it in the table order.
    static QPointF findNonOverlappingPosition(const BlockList& blocks, const BlockPtr& block, QPointF at,
                                              QSizeF size, std::optional<double> below = std::nullopt);

    // ---- The same, over this canvas ----
    BlockList sortedBlocks() const;
    double labelColumnWidth() const;
    double tableResultColumnWidth() const;
    bool checkCollision(const QRectF& rect, const std::optional<QUuid>& excluding = std::nullopt) const;
    QPointF findNonOverlappingPosition(const BlockPtr& block, QPointF at, QSizeF size,
                                       std::optional<double> below = std::nullopt) const;

    // ---- Editor state ----
    std::optional<QUuid> selectedBlockID() const { return m_selectedBlockID; }
    void setSelectedBlockID(const std::optional<QUuid>& id);
    const QSet<QUuid>& selectedBlockIDs() const { return m_selectedBlockIDs; }
    void setSelectedBlockIDs(const QSet<QUuid>& ids);
    int evaluationCounter() const { return m_evaluationCounter; }
    void raiseEvaluationCounter();

    const std::optional<TemporaryLink>& temporaryLink() const { return m_temporaryLink; }
    void setTemporaryLink(const std::optional<TemporaryLink>& link);
    const std::optional<TemporaryNumberDrag>& temporaryNumberDrag() const { return m_temporaryNumberDrag; }
    const QHash<QUuid, QSizeF>& dragOffsets() const { return m_dragOffsets; }

    bool showKeypad() const { return m_showKeypad; }
    void setShowKeypad(bool show);
    bool showingExportSheet() const { return m_showingExportSheet; }
    void setShowingExportSheet(bool showing);
    const std::optional<QImage>& exportedImage() const { return m_exportedImage; }
    void setExportedImage(const std::optional<QImage>& image) { m_exportedImage = image; }

    bool isEditingPartLabel() const { return m_isEditingPartLabel; }
    bool isEditingNumber() const { return m_isEditingNumber; }
    bool isEditingCanvasTitle() const { return m_isEditingCanvasTitle; }
    std::optional<QString> editingLabelForValue() const { return m_editingLabelForValue; }
    std::optional<int> editingLabelIndex() const { return m_editingLabelIndex; }
    QString editingLabelText() const { return m_editingLabelText; }
    std::optional<QUuid> editingLabelBlockID() const { return m_editingLabelBlockID; }

    bool isCanvasFocused() const;
    std::optional<QUuid> focusedBlockID() const { return m_focusedBlockID; }
    void setFocusedBlockID(const std::optional<QUuid>& id);
    std::optional<QUuid> focusedLabelBlockID() const { return m_focusedLabelBlockID; }
    void setFocusedLabelBlockID(const std::optional<QUuid>& id);
    bool isLabelFieldFocused() const { return m_isLabelFieldFocused; }

    bool showLinkAutocomplete() const { return m_showLinkAutocomplete; }
    void setShowLinkAutocomplete(bool show);
    std::optional<QUuid> linkAutocompleteBlockID() const { return m_linkAutocompleteBlockID; }
    std::optional<QUuid> draggingBlockID() const { return m_draggingBlockID; }
    std::optional<int> dropTargetIndex() const { return m_dropTargetIndex; }
    double lastDropY() const { return m_lastDropY; }

    // Preferences, read afresh with their defaults.
    static bool snapToLanes();
    static bool snapToRight();
    static bool editorMode();
    static bool canvasLightMode();
    static QString sumKeyword();

    // ---- Operations ----
    void addNewRow();
    void addNewBlock();
    void createNewBlockWithInput(const QString& input);
    void appendToSelectedBlock(const QString& text, bool fromKeypad);
    void deleteFromSelectedBlock();
    // Backspace on the canvas while the selected row's label is typed.
    void deleteFromSelectedLabel();
    void finishEditing();
    void setSelectedBlockColor(const QString& hex);
    void setTitleColor(const std::optional<QString>& hex);
    void setTextPartColor(const BlockPtr& block, const QString& text, const std::optional<QString>& hex);
    // Canvas-level key presses; true when handled.
    bool handleKeyPress(QKeyEvent* event);

    // Row navigation.
    void moveToExpression(const BlockPtr& block);
    void moveToPreviousRowExpression(const BlockPtr& block);
    void moveToNextRowLabel(const BlockPtr& block);
    void moveToPreviousRowLabel(const BlockPtr& block);
    void moveToNextRow(const BlockPtr& block);

    // Seams for the operations of the rows' later features.
    void applySumExpression(const BlockPtr& block);
    QString expressionWithLineNumbers(const BlockPtr& block) const;
    QString lineNumbersToPlaceholders(const QString& text, const BlockPtr& block) const;
    std::optional<QString> effectiveCurrency(const BlockPtr& block, QSet<QUuid> visited = {}) const;
    void startEditingNumberLabel(const QString& value, int index, const BlockPtr& block);
    void updateDropTarget(double dragY, const BlockPtr& fromBlock);
    void reorderBlockToIndex(const BlockPtr& block, int index);
    void endLinkDrag(QPointF point);
    void createLink(const BlockPtr& source, const BlockPtr& destination);
    void createLinkedBlockBelow(BlockPtr source); // a copy: the row list grows meanwhile
    void moveRowsUp();
    void moveRowsDown();
    void deleteSelectedBlock();

    // ---- Keyboard commands and row operations (keyboard, delete with undo,
    // clipboard, drag reordering, editor-mode lines) ----
    bool handleKeyPress(const CanvasKey& key);
    void appendToSelectedLabel(const QString& text);
    void deselectAll();
    void deleteSelectedBlocks();
    // Deletes a row and every link that starts or ends at it, stored or not;
    // a keyword sum that counted it adds the rows left.
    static void deleteRowWithItsLinks(const BlockPtr& row);
    void copySelectedRows();
    void pasteRows();
    void normalizeRowPositions();
    // Editor-mode lines. The static forms work on any list of rows.
    static int lineForY(double y);
    static BlockList blocksOnLine(const BlockList& blocks, int line);
    static int totalLines(const BlockList& blocks);
    static void repositionBlocksOnLine(const BlockList& blocks, int line);
    BlockList blocksOnLine(int line) const;
    int totalLines() const;
    void repositionBlocksOnLine(int line);
    void addNewLine();
    void addBlockToCurrentLine();
    // Where the drop marker stands now, in table coordinates (it eases
    // between slots); none while no marker is shown.
    std::optional<double> dropIndicatorY() const;

    // ---- Links between rows, linked values, number labels, currency, row numbers ----
    // Links: refused (quietly) for a row to itself, a second link between
    // the same two rows, and one that would close a cycle.
    static bool wouldCreateCycle(const BlockPtr& source, const BlockPtr& destination);
    // "A" to "Z", then "X1", "X2", ...: the first not in `excluding`.
    static QString generatePlaceholderName(const QStringList& excluding);
    // Removes the link and its tokens from `row`'s expression, then re-evaluates `row`.
    void deleteLink(const LinkPtr& link, const BlockPtr& row);
    void startLinkDrag(const BlockPtr& block, QPointF at);
    void updateLinkDrag(QPointF point);
    void createLinkedRow(const BlockPtr& source);
    // The dashed line of a link drag and the pen it is stroked with.
    static QPainterPath temporaryLinkPath(const TemporaryLink& link);
    static QPen temporaryLinkPen(const TemporaryLink& link);
    // "Row " and the row number when the row has no label.
    QString linkSourceName(const BlockPtr& source) const;
    QMenu* createLinkedValueMenu(const BlockPtr& block, const QString& placeholder, QWidget* parent);

    // Number labels and colours.
    void finishEditingNumberLabel(const QString& value, int index, const BlockPtr& block);
    void cancelEditingNumberLabel();
    // The text of the label field, as typed.
    void setEditingLabelText(const QString& text);
    QWidget* numberLabelEditor() const;
    QMenu* createNumberPartMenu(const BlockPtr& block, const QString& value, int index, QWidget* parent);

    // Currency shown beside a value: a conversion target wins, then the
    // first mark in the expression, then the sources' currency.
    static std::optional<QString> detectCurrency(const QString& text);
    static std::optional<QString> detectConversionTargetCurrency(const QString& text);

    // ---- What the table shows (also read by tests) ----
    // Value text of the result column ("" when the column is empty).
    QString resultText(const BlockPtr& block) const;
    // What the result column of a row shows, as drawn: the value with its
    // currency (elided to the cell), or the error of a row whose evaluation
    // failed, in a quieter style. Boxes are in table coordinates.
    struct ResultCell {
        QString shown;     // as drawn, "…" included when cut
        QString fullText;  // the whole value or error text
        QString hoverText; // what the pointer resting on it shows: an error's reason too
        QString label;     // small label above a value, as drawn
        QRectF textBox;    // the value or error text
        QRectF labelBox;
        bool isError = false;
        bool isEmpty() const { return fullText.isEmpty(); }
    };
    ResultCell resultCell(const BlockPtr& block, int rowIndex) const;
    // Where the row's expression text ends, as drawn or as being typed.
    double expressionTextEnd(const BlockPtr& block, int rowIndex) const;
    // The error text a failed row shows ("" for rows with a value, text rows,
    // rows never evaluated and rows with nothing to compute).
    static QString errorText(const CalculationBlock& block);
    // The texts of a row's expression as drawn, the last ending in "…" when
    // the expression is too wide for its cell.
    QStringList shownExpressionParts(const BlockPtr& block) const;
    // The small labels drawn above those parts, one for each ("" for none).
    QStringList shownPartLabels(const BlockPtr& block) const;
    // Characters the table's faces have measured so far: what fitting rows
    // to their columns costs.
    qint64 measuredCharacters() const;
    // True where a press starts a link drag: the drawn value of a row with
    // a result, and the handle beside it.
    bool startsLinkDrag(int rowIndex, QPointF point) const;
    QColor titleColor() const;
    QString titleText() const;
    // Top of the first row and the row pitch, in table coordinates.
    double rowsTop() const;
    double rowPitch() const { return tableRowHeight; }
    QRectF rowRect(int rowIndex) const;
    QRectF labelRect(int rowIndex) const;
    QRectF expressionRect(int rowIndex) const;
    QRectF resultRect(int rowIndex) const;
    QRectF linkHandleRect(int rowIndex) const;
    QRectF dragHandleRect(int rowIndex) const;
    QRectF tappableAreaRect() const;
    // Row index under a table y coordinate, or none.
    std::optional<int> rowIndexAt(double y) const;
    int indexOfBlock(const QUuid& id) const;

    QWidget* tableWidget() const;
    QScrollArea* scrollArea() const { return m_scrollArea; }
    InlineTitleField* titleField() const { return m_titleField; }
    QWidget* labelEditor() const;
    QWidget* expressionEditor() const;

    // Menus (built on demand; the caller owns them).
    QMenu* createRowContextMenu(const BlockPtr& block, int rowIndex, int totalRows, QWidget* parent);
    QMenu* createTitleColorMenu(QWidget* parent);
    QMenu* createTextPartMenu(const BlockPtr& block, const QString& text, QWidget* parent);
    // The menu of one part of a row's expression; null where the part has none (yet).
    QMenu* createPartMenu(const BlockPtr& block, const IndexedExpressionPart& part, QWidget* parent);
    // The "Row color" toolbar item for the window's toolbar: visible while a
    // row is selected.
    QAction* rowColorAction() const { return m_rowColorAction; }

    // Re-reads the canvas after changes made elsewhere.
    void refresh();

    // ---- Sum keyword, "#" picker and keypad ----
    // Ids of the rows the row feeds, directly or through others.
    static QSet<QUuid> rowsDependingOn(const BlockPtr& block);
    // The label, trimmed, is the sum keyword of the settings (any case).
    static bool isSumKeyword(const QString& label);
    // The row's expression is still the sum the keyword wrote for its links.
    static bool holdsKeywordSum(const BlockPtr& block);
    // A keyword sum reduced to the terms these links still name, in its order.
    static QString keywordSumLeft(const QString& expression, const LinkList& links);
    // Takes the keyword's sum off the row: its links and its expression.
    void removeKeywordSum(const BlockPtr& block);
    // Placeholder name of a link picked from source into target: the trimmed
    // label (or "Result" and the id's first four digits), with a number added
    // while another row's link into target has that name.
    static QString pickedLinkName(const BlockPtr& source, const BlockPtr& target);
    // A tax rate as written into an expression in the given number style;
    // none for a rate that is not finite.
    static std::optional<QString> taxRateText(double rate, DecimalStyle style);
    void insertLinkToBlock(const BlockPtr& source, const BlockPtr& target);
    void insertTaxRate(const CalcSettings::TaxRate& rate, const BlockPtr& target);
    void insertCurrency(const QString& text, const BlockPtr& target);
    // The picker's sections for a row (only those with entries).
    QList<AutocompleteSection> slickAutocompletePopup(const BlockPtr& target);
    LinkPickerPopup* linkPicker() const;
    CalculatorKeypad* keypad() const { return m_keypad; }

public Q_SLOTS:
    void undo();
    void redo();

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    friend class CanvasTableSurface;

    struct PartBox {
        IndexedExpressionPart part;
        QRectF box;      // the value text
        QRectF labelBox; // the small label above, when any
        QString shown;   // text drawn
        QString label;
        QColor color;
    };
    struct Palette {
        QColor background;
        QColor text;
        QColor secondary;
    };
    // The table's fonts with their metrics, made once per widget font:
    // looking a font up and shaping its text is most of drawing a row, so
    // each face keeps the widths and the prepared glyphs of what it drew.
    struct Face {
        explicit Face(const QFont& font);
        QFont font;
        QFontMetricsF metrics;
        // Measures and cuts text reading only the start that can show.
        TextFit fit;
        double width(const QString& text) const;
        // The width where it is at most limit, else some width above it.
        double boundedWidth(const QString& text, double limit) const;
        // The text as it fits in width, cut with "…" only when it does not.
        QString elided(const QString& text, double width) const;
        // As much of text as can show within limit (a long text is cut to a
        // start a little wider), for text clipped where it is drawn.
        QString shownStart(const QString& text, double limit) const;
        // Draws text vertically centred in box, from its left edge; the
        // painter's font must be this face's.
        void draw(QPainter& painter, const QRectF& box, const QString& text) const;
        // Only short texts are kept: what is drawn of a row is cut to its
        // column, and a long text once seen would hold its size in memory.
        mutable QHash<QString, double> widths;
        mutable QHash<QString, QStaticText> prepared;
    };
    struct TextStyles {
        explicit TextStyles(const QFont& base);
        QFont base;
        Face regular; // 20, labels, operators, text parts
        Face medium;  // 20, numbers, values
        Face small;   // 11, medium: small labels
        Face error;   // 13, a failed row's message
    };
    const TextStyles& textStyles() const;

    // CanvasView.cpp
    void buildWidgets();
    void onAppear();
    void scheduleRefresh();
    void applyRefresh();
    void applyAppearance();
    void updateRowColorAction();
    void connectContext();
    Palette canvasColors() const;
    BlockPtr blockWithId(const std::optional<QUuid>& id) const;
    void selectRow(const QUuid& id);
    void touchCanvas();
    void presentExporter();
    static QIcon circleIcon(const QString& hex);

    // CanvasViewLayout.cpp
    void ensureLayout() const;
    void invalidateLayout();
    // One row's label or result changed (and with it maybe the rows it
    // feeds): the column widths follow without a pass over every row.
    void rowContentChanged(const BlockPtr& block, bool withDependants);
    void noteRowWidths(const CalculationBlock* block) const;
    void forgetRowWidths(const CalculationBlock* block) const;
    void applyColumnWidths() const;
    // Scrolls the table so that the row is in view (after the table grew).
    void scrollRowIntoView(const QUuid& id);
    // Brings the selected row into view at the next refresh.
    void scrollToSelection();
    // After "#" typed on the canvas: the selected row's field opens with the
    // picker, as when "#" is typed in the field.
    void openPickerAfterTypedHash();
    // One character typed straight onto the canvas.
    void typeOnCanvas(const QString& character);
    void updateTableHeight();
    double tableWidth() const;

    // CanvasViewRow.cpp
    void paintTable(QPainter& painter, const QRect& exposed);
    void paintRow(QPainter& painter, const BlockPtr& block, int rowIndex);
    void paintExpression(QPainter& painter, const BlockPtr& block, const QRectF& rect);
    void paintResult(QPainter& painter, const BlockPtr& block, int rowIndex);
    void paintOverlays(QPainter& painter);
    void tableMousePress(QMouseEvent* event);
    void tableMouseMove(QMouseEvent* event);
    void tableMouseRelease(QMouseEvent* event);
    void tableContextMenu(QContextMenuEvent* event);
    // A result cut short shows its whole text as a tooltip.
    void tableToolTip(QHelpEvent* event);
    // A tooltip's text, cut to what one line across the screen shows.
    QString toolTipText(const QString& text) const;
    void commandClick(const BlockPtr& block);
    // A plain click on a row: that row alone, whatever was selected.
    void plainClick(const BlockPtr& block);
    void placeEditors();
    // A row's expression as its field shows it: links from rows of the table
    // as "L" and the row number, the others as the canvas shows them.
    struct ExpressionFieldText {
        QString text;
        QList<LinkToken::Held> held;
    };
    ExpressionFieldText expressionFieldText(const BlockPtr& block) const;
    // The expression the row's field now stands for, its text edited from
    // what the row's expression showed.
    QString expressionFromField(const QString& text, const BlockPtr& block) const;
    // The label was set by typing (field or canvas), from labelBefore: the
    // keyword makes the row a sum, with an undo step; typing on past it takes
    // the sum and its step away again.
    void labelTyped(const BlockPtr& block, const QString& labelBefore);
    static SumKeywordState sumKeywordState(const BlockPtr& block);
    // Takes the keyword's sum off a row whose label left the keyword.
    void takeKeywordSumAway(const BlockPtr& block);
    // Drops the sum steps next to undo or redo that have nothing left to do.
    void pruneSumKeywordSteps();
    // Ctrl+Z or Ctrl+Shift+Z in the label field over a sum step of its row:
    // the window's undo takes it.
    bool takeSumKeywordStep(const BlockPtr& block, bool redo);
    void onLabelEdited(const QString& text);
    void onExpressionEdited(const QString& text);
    bool labelFieldKey(QKeyEvent* event);
    bool expressionFieldKey(QKeyEvent* event);
    void fieldFocusLost(RowTextField* field, Qt::FocusReason reason);
    std::optional<PartBox> partAt(const BlockPtr& block, int rowIndex, QPointF point) const;
    void updateCursorShape(QPointF point);

    // CanvasViewFormatting.cpp
    // The parts of the row's expression from the left of rect: only those
    // that start within it unless whole is set (allLaidOut tells whether
    // any was left out). Texts wider than the column are measured and kept
    // only as far as they can show.
    QList<PartBox> layoutExpression(const BlockPtr& block, const QRectF& rect, bool whole = false,
                                    bool* allLaidOut = nullptr) const;
    // The boxes that fit in rect, the last one cut with "…" when needed.
    QList<PartBox> fittedExpression(const BlockPtr& block, const QRectF& rect) const;
    // storedIndices: where the row keeps each shown number's colour, when
    // worked out already.
    std::optional<QColor> partColor(const CalculationBlock& block, const IndexedExpressionPart& part,
                                    const QList<int>* storedIndices = nullptr) const;
    LinkPtr linkForPlaceholder(const BlockPtr& block, const QString& placeholder) const;

    // CanvasViewBlockManagement.cpp
    void appendRow(const BlockPtr& block);
    QString paletteColor() const;
    BlockPtr lowestBlock() const;
    QPointF nextFreeStart() const;

    // Keyboard commands and row operations
    bool canvasTakesKeys() const;
    bool claimsShortcut(QKeyEvent* event) const;
    void deleteSelection();
    void setDropTargetIndex(std::optional<int> index);
    void paintDropIndicator(QPainter& painter);

    // CanvasViewLabels.cpp: the inline editor of a number's label.
    void placeNumberLabelField();
    void clearNumberLabelEditState();

    // Sum keyword, "#" picker and keypad
    void dropTrailingHash(const BlockPtr& target);
    void finishPick(const BlockPtr& target);
    void syncExpressionField(const BlockPtr& block);
    void updateLinkPicker();
    void buildKeypad();
    void presentKeypad(bool show);

    CanvasPtr m_canvas;
    ModelContext* m_modelContext = nullptr;
    QUndoStack* m_undoStack = nullptr;
    // Receives the signals of everything outside the view (model,
    // preferences, application); deleted first when the view goes.
    QObject* m_outsideSignals = nullptr;

    std::optional<QUuid> m_selectedBlockID;
    QSet<QUuid> m_selectedBlockIDs;
    int m_evaluationCounter = 0;
    std::optional<TemporaryLink> m_temporaryLink;
    std::optional<TemporaryNumberDrag> m_temporaryNumberDrag;
    QHash<QUuid, QSizeF> m_dragOffsets;
    bool m_showKeypad = false;
    bool m_showingExportSheet = false;
    std::optional<QImage> m_exportedImage;
    bool m_isEditingPartLabel = false;
    bool m_isEditingNumber = false;
    bool m_isEditingCanvasTitle = false;
    std::optional<QString> m_editingLabelForValue;
    std::optional<int> m_editingLabelIndex;
    QString m_editingLabelText;
    std::optional<QUuid> m_editingLabelBlockID;
    std::optional<QUuid> m_focusedBlockID;
    std::optional<QUuid> m_focusedLabelBlockID;
    bool m_isLabelFieldFocused = false;
    bool m_showLinkAutocomplete = false;
    std::optional<QUuid> m_linkAutocompleteBlockID;
    std::optional<QUuid> m_draggingBlockID;
    std::optional<int> m_dropTargetIndex;
    double m_lastDropY = 0;

    // The label column's width in a row of the given width.
    double shownLabelWidth(double rowWidth) const;

    // Cached table layout; rebuilt after changes of the rows' order or
    // number. The column widths are kept per row and follow single rows.
    mutable bool m_layoutDirty = true;
    mutable BlockList m_sorted;
    mutable QHash<QUuid, int> m_rowIndex;
    mutable double m_labelWidth = minLabelColumnWidth;
    mutable double m_resultWidth = minResultColumnWidth;
    struct RowWidths {
        int labelCharacters = 0;
        double resultWidth = -1; // none: the row has no result
    };
    mutable std::unordered_map<const CalculationBlock*, RowWidths> m_rowWidths;
    mutable std::map<int, int> m_labelLengths;     // characters -> rows
    mutable std::map<double, int> m_resultWidths;  // width -> rows
    bool m_lightMode = false;
    mutable std::unique_ptr<TextStyles> m_textStyles;
    std::optional<QUuid> m_scrollTarget;
    QColor m_brushIconColor;

    // Pointer gesture in progress on the table.
    enum class Gesture { none, handle, link };
    Gesture m_gesture = Gesture::none;
    BlockPtr m_gestureBlock;
    int m_gestureRow = -1;
    QPointF m_pressPoint;
    bool m_gestureStarted = false;

    bool m_appeared = false;
    bool m_placingEditors = false;
    bool m_refreshScheduled = false;

    QScrollArea* m_scrollArea = nullptr;
    CanvasTableSurface* m_table = nullptr;
    QWidget* m_header = nullptr;
    InlineTitleField* m_titleField = nullptr;
    RowTextField* m_labelField = nullptr;
    RowTextField* m_expressionField = nullptr;
    QWidget* m_keypadSlot = nullptr;
    QAction* m_rowColorAction = nullptr;

    // The drop marker eases from slot to slot; slots as fractions while moving.
    QVariantAnimation* m_dropMarkerAnimation = nullptr;
    double m_dropMarkerSlot = 0;

    // Number labels: the inline label field, shown while a label is edited.
    RowTextField* m_numberLabelField = nullptr;

    // Sum keyword, "#" picker and keypad
    LinkPickerPopup* m_linkPicker = nullptr;
    QObject* m_pickerWatcher = nullptr; // on the expression field: hands the picker its keys, closes it
    CalculatorKeypad* m_keypad = nullptr;
};
