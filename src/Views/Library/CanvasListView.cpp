#include "Views/Library/CanvasListView.h"

#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/HexColor.h"
#include "Models/Identifiers.h"
#include "Models/Link.h"
#include "Models/ModelContext.h"
#include "Services/TextFit.h"
#include "Views/Window/Appearance.h"
#include "Views/Window/PlainAlert.h"
#include "Views/Window/ViewTeardown.h"

#include <QAction>
#include <QApplication>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopedValueRollback>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

namespace {

// A name as long as a paragraph is already more than the question needs.
constexpr qsizetype deleteAlertNameLength = 200;

enum Roles { CanvasRow = Qt::UserRole + 1 };

// The dot colour: the title colour, or white without a readable one.
std::optional<QColor> titleColor(const Canvas& canvas)
{
    if (const auto hex = canvas.titleColorHex())
        return colorFromHex(*hex);
    return std::nullopt;
}

QString abbreviatedDateFormat(const QLocale& locale)
{
    // The long format without the weekday, with the month abbreviated.
    QString format = locale.dateFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("d{4}[,.]?\\s*")));
    format.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
    return format.trimmed();
}

} // namespace

QList<CanvasPtr> libraryOrder(const ModelContext& context)
{
    QList<CanvasPtr> list = context.canvases();
    std::sort(list.begin(), list.end(), [](const CanvasPtr& a, const CanvasPtr& b) {
        if (a->modifiedAt() != b->modifiedAt())
            return a->modifiedAt() > b->modifiedAt();
        if (a->createdAt() != b->createdAt())
            return a->createdAt() > b->createdAt();
        return a->id() < b->id();
    });
    return list;
}

QString formatDate(const QDateTime& date, const QDateTime& now, const QLocale& locale)
{
    const QDateTime d = date.toLocalTime();
    const QDateTime n = now.toLocalTime();
    if (d.date() == n.date()) {
        // Hours and minutes only, whatever the locale's short form carries.
        QString format = locale.timeFormat(QLocale::ShortFormat);
        format.remove(QRegularExpression(QStringLiteral("[:.]ss?")));
        return locale.toString(d.time(), format);
    }
    if (d.date() == n.date().addDays(-1))
        return QStringLiteral("Yesterday");
    // Whole days elapsed, truncated towards zero (negative for a later date).
    qint64 days = d.date().daysTo(n.date());
    if (days > 0 && d.addDays(days) > n)
        --days;
    else if (days < 0 && d.addDays(days) < n)
        ++days;
    if (days <= 6)
        return locale.dayName(d.date().dayOfWeek(), QLocale::LongFormat);
    return locale.toString(d.date(), abbreviatedDateFormat(locale));
}

// ---------------------------------------------------------------- model

CanvasListModel::CanvasListModel(ModelContext* context, QObject* parent)
    : QAbstractListModel(parent)
    , m_context(context)
{
    m_rows = libraryOrder(*m_context);
}

int CanvasListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant CanvasListModel::data(const QModelIndex& index, int role) const
{
    const CanvasPtr canvas = canvasAt(index.row());
    if (!canvas)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return canvas->name();
    case Qt::ToolTipRole:
        return canvas->name();
    case CanvasRow:
        return index.row();
    default:
        return {};
    }
}

Qt::ItemFlags CanvasListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

CanvasPtr CanvasListModel::canvasAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row) : nullptr;
}

int CanvasListModel::rowOf(const QUuid& id) const
{
    for (int row = 0; row < m_rows.size(); ++row)
        if (m_rows.at(row)->id() == id)
            return row;
    return -1;
}

bool CanvasListModel::refresh()
{
    QList<CanvasPtr> rows = libraryOrder(*m_context);
    if (rows == m_rows) {
        if (!m_rows.isEmpty())
            Q_EMIT dataChanged(index(0), index(int(m_rows.size()) - 1));
        return false;
    }
    Q_EMIT aboutToReorder();
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
    Q_EMIT reordered();
    return true;
}

// ---------------------------------------------------------------- delegate

CanvasRowDelegate::CanvasRowDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

bool CanvasRowDelegate::eventFilter(QObject* object, QEvent* event)
{
    // Tab would move the list on to the next canvas and open a second field
    // there, with the rename still open behind it: the field keeps the
    // keyboard until Return.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab)
            return true;
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

QRect CanvasRowDelegate::dotRect(const QRect& rowRect)
{
    const int x = rowRect.left() + 10 + (dotFrame - 10) / 2;
    return QRect(x, rowRect.center().y() - 4, 10, 10);
}

void CanvasRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const auto* model = qobject_cast<const CanvasListModel*>(index.model());
    const CanvasPtr canvas = model ? model->canvasAt(index.row()) : nullptr;
    if (!canvas)
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);

    const QRect rect = option.rect.adjusted(6, 1, -6, -1);
    const bool selected = option.state & QStyle::State_Selected;
    const bool active = option.state & QStyle::State_Active && option.state & QStyle::State_HasFocus;
    if (selected) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(active ? QColor(255, 255, 255, 46) : QColor(255, 255, 255, 28));
        painter->drawRoundedRect(rect, 6, 6);
    } else if (option.state & QStyle::State_MouseOver) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(255, 255, 255, 12));
        painter->drawRoundedRect(rect, 6, 6);
    }

    const std::optional<QColor> color = titleColor(*canvas);
    painter->setPen(Qt::NoPen);
    painter->setBrush(color.value_or(QColor(Qt::white)));
    painter->drawEllipse(QRectF(dotRect(option.rect)));

    const int textLeft = option.rect.left() + 10 + dotFrame + 8;
    const int textWidth = option.rect.right() - 12 - textLeft;
    QFont nameFont = option.font;
    nameFont.setPixelSize(13);
    nameFont.setWeight(QFont::Medium);
    QFont dateFont = option.font;
    dateFont.setPixelSize(11);
    const QFontMetrics nameMetrics(nameFont);
    const QFontMetrics dateMetrics(dateFont);
    const int block = nameMetrics.height() + 2 + dateMetrics.height();
    const int top = option.rect.top() + (option.rect.height() - block) / 2;

    const QColor primary = option.palette.color(QPalette::Text);
    painter->setFont(nameFont);
    painter->setPen(color.value_or(primary));
    painter->drawText(QRect(textLeft, top, textWidth, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      TextFit(nameFont).elidedRight(canvas->name(), textWidth));

    QColor secondary = primary;
    secondary.setAlphaF(0.55f);
    painter->setFont(dateFont);
    painter->setPen(secondary);
    painter->drawText(QRect(textLeft, top + nameMetrics.height() + 2, textWidth, dateMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter, formatDate(canvas->modifiedAt(), Clock::now()));
    painter->restore();
}

QSize CanvasRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    return QSize(180, rowHeight);
}

QWidget* CanvasRowDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const
{
    return makeEditor ? makeEditor(parent, index) : nullptr;
}

void CanvasRowDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                             const QModelIndex& index) const
{
    const int left = option.rect.left() + 10 + dotFrame + 4;
    const int height = 24;
    editor->setGeometry(left, option.rect.center().y() - height / 2 + 1, option.rect.right() - 10 - left, height);
}

// ---------------------------------------------------------------- library view

const QStringList CanvasListView::canvasColors = {
    QStringLiteral("#00D4FF"), QStringLiteral("#FF6B9D"), QStringLiteral("#00FF88"), QStringLiteral("#FFB800"),
    QStringLiteral("#B388FF"), QStringLiteral("#FF5252"), QStringLiteral("#64FFDA"), QStringLiteral("#FFFF00"),
};

QString CanvasListView::colorName(const QString& hex)
{
    static const QHash<QString, QString> names = {
        {QStringLiteral("#00D4FF"), QStringLiteral("Cyan")},   {QStringLiteral("#FF6B9D"), QStringLiteral("Pink")},
        {QStringLiteral("#00FF88"), QStringLiteral("Green")},  {QStringLiteral("#FFB800"), QStringLiteral("Orange")},
        {QStringLiteral("#B388FF"), QStringLiteral("Purple")}, {QStringLiteral("#FF5252"), QStringLiteral("Red")},
        {QStringLiteral("#64FFDA"), QStringLiteral("Teal")},   {QStringLiteral("#FFFF00"), QStringLiteral("Yellow")},
    };
    return names.value(hex);
}

QString CanvasListView::deleteAlertTitle(int count)
{
    return count < 2 ? QStringLiteral("Delete Canvas?") : QStringLiteral("Delete Canvases?");
}

QString CanvasListView::deleteAlertMessage(const QList<CanvasPtr>& canvases)
{
    if (canvases.size() == 1)
        return QStringLiteral("Are you sure you want to delete \"%1\"?")
            .arg(boundedAlertText(canvases.first()->name(), deleteAlertNameLength));
    return QStringLiteral("Are you sure you want to delete %1 canvases?").arg(canvases.size());
}

QString CanvasListView::deleteAlertRichMessage(const QList<CanvasPtr>& canvases)
{
    // The leading tag makes the alert read the escaped text as rich text.
    return QStringLiteral("<p>%1</p>").arg(deleteAlertMessage(canvases).toHtmlEscaped());
}

CanvasListView::CanvasListView(ModelContext* modelContext, QWidget* parent)
    : QWidget(parent)
    , m_modelContext(modelContext)
    , m_outsideSignals(new QObject(this))
    , m_model(new CanvasListModel(modelContext, this))
    , m_delegate(new CanvasRowDelegate(this))
    , m_list(new QListView(this))
    , m_newCanvasButton(new QPushButton(symbolIcon(QStringLiteral("plus"), QColor(0xec, 0xec, 0xee)),
                                        QStringLiteral("New Canvas"), this))
{
    setObjectName(QStringLiteral("CanvasListView"));
    setMinimumWidth(180);
    setAutoFillBackground(true);

    auto* title = new QLabel(QStringLiteral("Canvases"), this);
    title->setObjectName(QStringLiteral("libraryTitle"));
    QFont titleFont = title->font();
    titleFont.setPixelSize(11);
    titleFont.setWeight(QFont::DemiBold);
    title->setFont(titleFont);
    title->setContentsMargins(16, 12, 8, 6);
    title->setStyleSheet(QStringLiteral("color: rgba(235, 235, 245, 0.5);"));

    m_list->setModel(m_model);
    m_list->setItemDelegate(m_delegate);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setUniformItemSizes(true);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setMouseTracking(true);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setStyleSheet(QStringLiteral("QListView { background: transparent; outline: 0; }"));
    m_list->viewport()->installEventFilter(this);

    m_newCanvasButton->setObjectName(QStringLiteral("newCanvasButton"));
    m_newCanvasButton->setFlat(true);
    m_newCanvasButton->setCursor(Qt::PointingHandCursor);
    m_newCanvasButton->setStyleSheet(QStringLiteral(
        "QPushButton { border: none; border-top: 1px solid rgba(255,255,255,0.08); padding: 8px; "
        "background: rgba(255,255,255,0.04); color: #ececee; font-size: 13px; }"
        "QPushButton:hover { background: rgba(255,255,255,0.09); }"
        "QPushButton:pressed { background: rgba(255,255,255,0.14); }"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(title);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_newCanvasButton);

    m_delegate->makeEditor = [this](QWidget* parent, const QModelIndex&) -> QWidget* {
        auto* field = new QLineEdit(parent);
        field->setObjectName(QStringLiteral("renameField"));
        field->setPlaceholderText(QStringLiteral("Canvas name"));
        QFont font = field->font();
        font.setPixelSize(13);
        field->setFont(font);
        // Not the default 32,767 characters: a longer name would be cut
        // just by opening the field.
        field->setMaxLength(std::numeric_limits<int>::max());
        field->setText(m_renameText);
        connect(field, &QLineEdit::textChanged, this, [this](const QString& text) { m_renameText = text; });
        return field;
    };
    // Return in the rename field reaches the list through the delegate, which
    // commits and closes the field through the view that opened it; the
    // rename ends once the view has done so. Closing the field here first
    // would leave the view a field it no longer knows.
    connect(m_delegate, &QAbstractItemDelegate::closeEditor, this,
            [this](QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
                if (hint != QAbstractItemDelegate::SubmitModelCache || !m_isRenaming)
                    return;
                const int row = m_model->rowOf(*m_isRenaming);
                if (row >= 0 && m_list->indexWidget(m_model->index(row)) == editor)
                    finishRenaming(m_model->canvasAt(row));
            });

    connect(m_newCanvasButton, &QPushButton::clicked, this, &CanvasListView::addCanvas);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CanvasListView::listSelectionChanged);
    connect(m_list, &QWidget::customContextMenuRequested, this, &CanvasListView::showContextMenu);
    connect(m_model, &CanvasListModel::aboutToReorder, this, [this] { m_applyingSelection = true; });
    connect(m_model, &CanvasListModel::reordered, this, [this] {
        m_applyingSelection = false;
        applySelectionToList();
        reopenRenameField();
    });
    connect(m_modelContext, &ModelContext::changed, m_outsideSignals, [this] {
        refresh();
        Q_EMIT selectionChanged(); // a selected canvas may be gone
    });

    // Keys of the list itself (not of the rename field).
    auto* deleteAction = new QAction(m_list);
    deleteAction->setShortcuts({QKeySequence::Delete, QKeySequence(Qt::Key_Backspace)});
    deleteAction->setShortcutContext(Qt::WidgetShortcut);
    connect(deleteAction, &QAction::triggered, this, &CanvasListView::confirmDeleteSelected);
    m_list->addAction(deleteAction);
    auto* renameAction = new QAction(m_list);
    renameAction->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    renameAction->setShortcutContext(Qt::WidgetShortcut);
    connect(renameAction, &QAction::triggered, this, [this] {
        if (const CanvasPtr canvas = m_model->canvasAt(m_list->currentIndex().row()))
            startRenaming(canvas);
    });
    m_list->addAction(renameAction);
    auto* duplicateAction = new QAction(m_list);
    duplicateAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    duplicateAction->setShortcutContext(Qt::WidgetShortcut);
    connect(duplicateAction, &QAction::triggered, this, [this] {
        if (const CanvasPtr canvas = m_model->canvasAt(m_list->currentIndex().row()))
            duplicateCanvas(canvas);
    });
    m_list->addAction(duplicateAction);

    setUpExchange();
}

CanvasListView::~CanvasListView()
{
    // Closing the window commits the rename field and moves the focus after
    // this is gone; none of it may call here.
    m_list->viewport()->removeEventFilter(this);
    delete m_outsideSignals;
    disconnectChildren(this);
}

QList<CanvasPtr> CanvasListView::canvases() const
{
    return m_model->canvases();
}

void CanvasListView::refresh()
{
    m_model->refresh();
}

void CanvasListView::setSelectedCanvas(const CanvasPtr& canvas)
{
    assignSelectedCanvas(canvas);
}

void CanvasListView::assignSelectedCanvas(const CanvasPtr& canvas)
{
    if (canvas == m_selectedCanvas)
        return;
    m_selectedCanvas = canvas;
    Q_EMIT selectedCanvasChanged(canvas);
    syncSelection(canvas);
}

void CanvasListView::setSelectedCanvasIDs(const QSet<QUuid>& ids)
{
    if (ids == m_selectedCanvasIDs)
        return;
    m_selectedCanvasIDs = ids;
    applySelectionToList();
    Q_EMIT selectionChanged();
    updateSelectedCanvas(ids);
}

QList<CanvasPtr> CanvasListView::selectedCanvases() const
{
    QList<CanvasPtr> chosen;
    for (const CanvasPtr& canvas : m_model->canvases())
        if (m_selectedCanvasIDs.contains(canvas->id()) && !canvas->isDeleted())
            chosen.append(canvas);
    return chosen;
}

void CanvasListView::updateSelectedCanvas(const QSet<QUuid>& ids)
{
    if (ids.isEmpty())
        return;
    // With several rows selected, the row the user acted on last, else the topmost.
    CanvasPtr chosen;
    const CanvasPtr current = m_model->canvasAt(m_list->currentIndex().row());
    if (current && ids.contains(current->id()))
        chosen = current;
    for (int row = 0; !chosen && row < m_model->rowCount(); ++row)
        if (ids.contains(m_model->canvasAt(row)->id()))
            chosen = m_model->canvasAt(row);
    if (chosen)
        assignSelectedCanvas(chosen);
}

void CanvasListView::syncSelection(const CanvasPtr& canvas)
{
    if (!canvas || m_selectedCanvasIDs.contains(canvas->id()))
        return;
    setSelectedCanvasIDs({canvas->id()});
}

void CanvasListView::applySelectionToList()
{
    const bool wasApplying = m_applyingSelection;
    m_applyingSelection = true;
    QItemSelection selection;
    int currentRow = -1;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const CanvasPtr canvas = m_model->canvasAt(row);
        if (!m_selectedCanvasIDs.contains(canvas->id()))
            continue;
        selection.select(m_model->index(row), m_model->index(row));
        if (currentRow < 0 || canvas == m_selectedCanvas)
            currentRow = row;
    }
    m_list->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (currentRow >= 0) {
        m_list->selectionModel()->setCurrentIndex(m_model->index(currentRow), QItemSelectionModel::NoUpdate);
        m_list->scrollTo(m_model->index(currentRow));
    }
    m_applyingSelection = wasApplying;
}

void CanvasListView::listSelectionChanged()
{
    if (m_applyingSelection)
        return;
    QSet<QUuid> ids;
    for (const QModelIndex& index : m_list->selectionModel()->selectedRows())
        if (const CanvasPtr canvas = m_model->canvasAt(index.row()))
            ids.insert(canvas->id());
    if (ids == m_selectedCanvasIDs)
        return;
    m_selectedCanvasIDs = ids;
    Q_EMIT selectionChanged();
    const QScopedValueRollback choosing(m_choosingInList, true);
    updateSelectedCanvas(ids);
}

void CanvasListView::addCanvas()
{
    const CanvasPtr canvas =
        Canvas::create(QStringLiteral("Canvas %1").arg(m_modelContext->canvasCount() + 1), 0, 0, 1.0);
    m_modelContext->insert(canvas);
    refresh();
    assignSelectedCanvas(canvas);
    setSelectedCanvasIDs({canvas->id()});
}

void CanvasListView::setRenameText(const QString& text)
{
    m_renameText = text;
    if (!m_isRenaming)
        return;
    const int row = m_model->rowOf(*m_isRenaming);
    if (auto* field = qobject_cast<QLineEdit*>(m_list->indexWidget(m_model->index(row))))
        field->setText(text);
}

void CanvasListView::startRenaming(const CanvasPtr& canvas)
{
    if (m_isRenaming) {
        const int row = m_model->rowOf(*m_isRenaming);
        if (row >= 0)
            m_list->closePersistentEditor(m_model->index(row));
    }
    m_renameText = canvas->name();
    m_isRenaming = canvas->id();
    reopenRenameField();
    const int row = m_model->rowOf(canvas->id());
    if (auto* field = m_list->indexWidget(m_model->index(row))) {
        field->setFocus(Qt::OtherFocusReason);
        if (auto* line = qobject_cast<QLineEdit*>(field))
            line->selectAll();
    }
}

void CanvasListView::reopenRenameField()
{
    if (!m_isRenaming)
        return;
    const int row = m_model->rowOf(*m_isRenaming);
    if (row < 0)
        return;
    const QModelIndex index = m_model->index(row);
    if (!m_list->isPersistentEditorOpen(index))
        m_list->openPersistentEditor(index);
}

void CanvasListView::finishRenaming(const CanvasPtr& canvas)
{
    if (!m_renameText.isEmpty()) {
        canvas->setName(m_renameText);
        canvas->touch();
    }
    const int row = m_model->rowOf(canvas->id());
    const bool hadFocus = row >= 0 && m_list->indexWidget(m_model->index(row))
        && m_list->indexWidget(m_model->index(row))->hasFocus();
    if (row >= 0)
        m_list->closePersistentEditor(m_model->index(row));
    m_isRenaming.reset();
    refresh();
    if (hadFocus)
        m_list->setFocus(Qt::OtherFocusReason);
}

void CanvasListView::setTitleColor(const CanvasPtr& canvas, const std::optional<QString>& hex)
{
    canvas->setTitleColorHex(hex);
    canvas->touch();
    refresh();
}

CanvasPtr CanvasListView::duplicateCanvas(const CanvasPtr& source)
{
    const CanvasPtr copy = Canvas::create(source->name() + QStringLiteral(" Copy"), 0, 0, 1.0);
    QHash<QUuid, BlockPtr> copies;
    for (const BlockPtr& row : source->blocks()) {
        const BlockPtr block =
            CalculationBlock::create(row->blockType(), row->expression(), row->textContent(), row->label(),
                                     row->positionX(), row->positionY(), row->width(), row->height(), row->colorHex());
        block->setResult(row->result());
        block->setHasError(row->hasError());
        block->setErrorMessage(row->errorMessage());
        block->setPartLabels(row->partLabels());
        block->setPartColors(row->partColors());
        block->setCanvas(copy);
        copies.insert(row->id(), block);
    }
    for (const LinkPtr& link : source->links()) {
        const BlockPtr from = link->sourceBlock();
        const BlockPtr to = link->destinationBlock();
        if (!from || !to || !copies.contains(from->id()) || !copies.contains(to->id()))
            continue;
        const LinkPtr linkCopy =
            Link::create(copies.value(from->id()), copies.value(to->id()), link->placeholderName(), link->colorHex());
        linkCopy->setCanvas(copy);
    }
    m_modelContext->insert(copy);
    refresh();
    assignSelectedCanvas(copy);
    setSelectedCanvasIDs({copy->id()});
    return copy;
}

void CanvasListView::confirmDeleteCanvases(const QList<int>& rows)
{
    QList<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    m_canvasesToDelete.clear();
    for (int row : sorted)
        if (const CanvasPtr canvas = m_model->canvasAt(row))
            m_canvasesToDelete.append(canvas);
    showDeleteConfirmation();
}

void CanvasListView::confirmDeleteSelected()
{
    if (m_selectedCanvasIDs.isEmpty())
        return;
    const QList<CanvasPtr> chosen = selectedCanvases();
    if (chosen.isEmpty())
        return;
    m_canvasesToDelete = chosen;
    showDeleteConfirmation();
}

void CanvasListView::confirmDelete(const CanvasPtr& canvas)
{
    m_canvasesToDelete = {canvas};
    showDeleteConfirmation();
}

void CanvasListView::setDeleteConfirmation(std::function<bool(const QString&, const QString&)> confirmation)
{
    m_confirmDelete = std::move(confirmation);
}

void CanvasListView::setExporter(std::function<void(const QList<CanvasPtr>&)> exporter)
{
    m_exporter = std::move(exporter);
}

void CanvasListView::showDeleteConfirmation()
{
    if (m_canvasesToDelete.isEmpty())
        return;
    const QString title = deleteAlertTitle(int(m_canvasesToDelete.size()));
    const QString message = deleteAlertMessage(m_canvasesToDelete);
    bool confirmed = false;
    if (m_confirmDelete) {
        confirmed = m_confirmDelete(title, message);
    } else {
        QMessageBox alert(window());
        alert.setWindowTitle(title);
        alert.setText(QStringLiteral("<b>%1</b>").arg(title.toHtmlEscaped()));
        alert.setInformativeText(deleteAlertRichMessage(m_canvasesToDelete));
        alert.setTextFormat(Qt::RichText);
        alert.setStyleSheet(QStringLiteral("QLabel { min-width: 280px; }"));
        QPushButton* cancel = alert.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
        QPushButton* remove = alert.addButton(QStringLiteral("Delete"), QMessageBox::DestructiveRole);
        remove->setStyleSheet(QStringLiteral("color: #ff5252;"));
        alert.setDefaultButton(cancel);
        alert.setEscapeButton(cancel);
        alert.exec();
        confirmed = alert.clickedButton() == remove;
    }
    if (confirmed)
        performDelete();
    else
        m_canvasesToDelete.clear();
}

void CanvasListView::performDelete()
{
    QSet<QUuid> deleted;
    for (const CanvasPtr& canvas : m_canvasesToDelete)
        deleted.insert(canvas->id());
    // The editor goes first, while its canvas is still whole.
    assignSelectedCanvas(nullptr);
    setSelectedCanvasIDs({});
    for (const CanvasPtr& canvas : m_canvasesToDelete)
        if (!canvas->isDeleted())
            m_modelContext->deleteRecord(canvas);
    m_canvasesToDelete.clear();
    refresh();
    for (const CanvasPtr& canvas : m_model->canvases()) {
        if (deleted.contains(canvas->id()) || canvas->isDeleted())
            continue;
        assignSelectedCanvas(canvas);
        setSelectedCanvasIDs({canvas->id()});
        break;
    }
}

QMenu* CanvasListView::makeColorMenu(const CanvasPtr& canvas, QWidget* parent)
{
    auto* menu = new QMenu(QStringLiteral("Color"), parent);
    for (const QString& hex : canvasColors) {
        QAction* action = menu->addAction(colorDotIcon(*colorFromHex(hex)), colorName(hex));
        connect(action, &QAction::triggered, this, [this, canvas, hex] { setTitleColor(canvas, hex); });
    }
    menu->addSeparator();
    QAction* white = menu->addAction(QStringLiteral("White (Default)"));
    connect(white, &QAction::triggered, this, [this, canvas] { setTitleColor(canvas, std::nullopt); });
    return menu;
}

QMenu* CanvasListView::makeContextMenu(const CanvasPtr& canvas, QWidget* parent)
{
    const QColor ink(0xec, 0xec, 0xee);
    auto* menu = new QMenu(parent);
    menu->addMenu(makeColorMenu(canvas, menu));
    QAction* rename = menu->addAction(symbolIcon(QStringLiteral("pencil"), ink), QStringLiteral("Rename"));
    rename->setShortcut(QKeySequence(Qt::Key_Return));
    rename->setShortcutContext(Qt::WidgetShortcut);
    connect(rename, &QAction::triggered, this, [this, canvas] { startRenaming(canvas); });
    QAction* duplicate =
        menu->addAction(symbolIcon(QStringLiteral("plus.square.on.square"), ink), QStringLiteral("Duplicate"));
    duplicate->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    duplicate->setShortcutContext(Qt::WidgetShortcut);
    connect(duplicate, &QAction::triggered, this, [this, canvas] { duplicateCanvas(canvas); });
    menu->addSeparator();
    QAction* exportAction =
        menu->addAction(symbolIcon(QStringLiteral("square.and.arrow.up"), ink), QStringLiteral("Export..."));
    exportAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    exportAction->setShortcutContext(Qt::WidgetShortcut);
    exportAction->setEnabled(bool(m_exporter));
    connect(exportAction, &QAction::triggered, this, [this, canvas] {
        if (m_exporter)
            m_exporter({canvas});
    });
    menu->addSeparator();
    QAction* remove = menu->addAction(symbolIcon(QStringLiteral("trash"), QColor(0xff, 0x52, 0x52)),
                                      QStringLiteral("Delete"));
    connect(remove, &QAction::triggered, this, [this, canvas] { confirmDelete(canvas); });
    return menu;
}

void CanvasListView::showContextMenu(const QPoint& position)
{
    const CanvasPtr canvas = m_model->canvasAt(m_list->indexAt(position).row());
    if (!canvas || (m_isRenaming && *m_isRenaming == canvas->id()))
        return;
    QMenu* menu = makeContextMenu(canvas, this);
    menu->exec(m_list->viewport()->mapToGlobal(position));
    menu->deleteLater();
}

bool CanvasListView::eventFilter(QObject* watched, QEvent* event)
{
    // A click on a row's dot opens its colour menu without selecting the row.
    if (watched == m_list->viewport()
        && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        // The right button only opens the row's menu: what is selected, and
        // the canvas shown, stay as they are.
        if (mouse->button() == Qt::RightButton)
            return true;
        const QModelIndex index = m_list->indexAt(mouse->position().toPoint());
        const CanvasPtr canvas = m_model->canvasAt(index.row());
        if (canvas && mouse->button() == Qt::LeftButton && !(m_isRenaming && *m_isRenaming == canvas->id())) {
            const QRect dot = CanvasRowDelegate::dotRect(m_list->visualRect(index)).adjusted(-4, -4, 4, 4);
            if (dot.contains(mouse->position().toPoint())) {
                QMenu* menu = makeColorMenu(canvas, this);
                menu->exec(m_list->viewport()->mapToGlobal(dot.bottomLeft()));
                menu->deleteLater();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}
