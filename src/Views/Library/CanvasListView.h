#pragma once

#include "Models/RecordPointers.h"

#include <QAbstractListModel>
#include <QDateTime>
#include <QLocale>
#include <QSet>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QUuid>
#include <QWidget>
#include <functional>
#include <optional>
#include <memory>
#include <optional>

class ExchangeDialogs;
class ModelContext;
class QListView;
class QPushButton;
class QMenu;

// The canvases in library order: most recently modified first; equal
// modification times by creation time (newest first), then by identifier.
QList<CanvasPtr> libraryOrder(const ModelContext& context);

// The short date of a library row, relative to now: the time today,
// "Yesterday", the weekday within six days, else the abbreviated date.
QString formatDate(const QDateTime& date, const QDateTime& now, const QLocale& locale = QLocale());

// The rows of the library list.
class CanvasListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit CanvasListModel(ModelContext* context, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    const QList<CanvasPtr>& canvases() const { return m_rows; }
    CanvasPtr canvasAt(int row) const;
    int rowOf(const QUuid& id) const;
    // Re-reads the store; true when rows came, went or moved.
    bool refresh();

Q_SIGNALS:
    void aboutToReorder();
    void reordered();

private:
    ModelContext* m_context;
    QList<CanvasPtr> m_rows;
};

// Draws a library row: colour dot, name and date line.
class CanvasRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int rowHeight = 40;
    static constexpr int dotFrame = 16;

    explicit CanvasRowDelegate(QObject* parent = nullptr);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {}
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {}
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

    // Where the dot of a row drawn in rect sits.
    static QRect dotRect(const QRect& rowRect);

    // Makes the rename field; set by the library.
    std::function<QWidget*(QWidget* parent, const QModelIndex& index)> makeEditor;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;
};

// The library sidebar: every canvas, most recently modified first, with its
// own multiple selection kept in step with the canvas the window shows.
class CanvasListView : public QWidget {
    Q_OBJECT
public:
    explicit CanvasListView(ModelContext* modelContext, QWidget* parent = nullptr);
    ~CanvasListView() override;

    // Title colours offered, in menu order, and their names.
    static const QStringList canvasColors;
    static QString colorName(const QString& hex);

    static QString deleteAlertTitle(int count);
    static QString deleteAlertMessage(const QList<CanvasPtr>& canvases);
    // The message as the alert's rich text: names are shown as typed, never as markup.
    static QString deleteAlertRichMessage(const QList<CanvasPtr>& canvases);

    // The window's selected canvas. Setting it keeps the list's selection in step.
    CanvasPtr selectedCanvas() const { return m_selectedCanvas; }
    void setSelectedCanvas(const CanvasPtr& canvas);

    QSet<QUuid> selectedCanvasIDs() const { return m_selectedCanvasIDs; }
    void setSelectedCanvasIDs(const QSet<QUuid>& ids);
    // The canvases of the list's selection, in list order.
    QList<CanvasPtr> selectedCanvases() const;
    // True while the canvas shown changes because the user chose it in the
    // list (a click, the arrow keys): the keyboard then stays in the list.
    bool isChoosingInList() const { return m_choosingInList; }
    // The rows in list order.
    QList<CanvasPtr> canvases() const;
    // Re-reads the store now instead of at the end of the event-loop turn.
    void refresh();

    // Row operations.
    void addCanvas();
    void startRenaming(const CanvasPtr& canvas);
    void finishRenaming(const CanvasPtr& canvas);
    std::optional<QUuid> isRenaming() const { return m_isRenaming; }
    QString renameText() const { return m_renameText; }
    void setRenameText(const QString& text);
    void setTitleColor(const CanvasPtr& canvas, const std::optional<QString>& hex);
    CanvasPtr duplicateCanvas(const CanvasPtr& canvas);
    void confirmDeleteCanvases(const QList<int>& rows);
    void confirmDeleteSelected();
    void confirmDelete(const CanvasPtr& canvas); // the context menu's "Delete"
    void performDelete();
    QList<CanvasPtr> canvasesToDelete() const { return m_canvasesToDelete; }

    // Asks to confirm a delete (title, message); true for "Delete". The
    // standard one shows an alert; tests answer it themselves.
    void setDeleteConfirmation(std::function<bool(const QString& title, const QString& message)> confirmation);
    // The exchange-file writer of the library; without one "Export..." is disabled.
    void setExporter(std::function<void(const QList<CanvasPtr>&)> exporter);

    // Export and import of exchange files. Export takes the selected
    // canvases in list order (nothing selected: nothing happens); both open
    // their dialog a moment later, after the command that asked for them.
    void exportSelectedCanvases();
    void exportCanvases(const QList<CanvasPtr>& canvases);
    // Asks for a file and writes the canvases to it at once; the file written,
    // or none when cancelled or failed (the failure is shown).
    std::optional<QString> exportCanvasesNow(const QList<CanvasPtr>& canvases);
    void importCanvases();
    // The dialogs and alerts of export and import (tests put in their own).
    void setExchangeDialogs(std::shared_ptr<ExchangeDialogs> dialogs);
    // Saves the store now, one imported file at a time; none on success.
    void setStoreCommit(std::function<std::optional<QString>()> commit);

    // The menus of a row, as built for the canvas (for the dot and the context menu).
    QMenu* makeColorMenu(const CanvasPtr& canvas, QWidget* parent);
    QMenu* makeContextMenu(const CanvasPtr& canvas, QWidget* parent);

    QListView* listView() const { return m_list; }
    QPushButton* newCanvasButton() const { return m_newCanvasButton; }
    CanvasListModel* model() const { return m_model; }

Q_SIGNALS:
    void selectedCanvasChanged(const CanvasPtr& canvas);
    // The list's selection changed, or the canvases it holds did.
    void selectionChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateSelectedCanvas(const QSet<QUuid>& ids);
    void syncSelection(const CanvasPtr& canvas);
    void assignSelectedCanvas(const CanvasPtr& canvas);
    void applySelectionToList();
    void listSelectionChanged();
    void reopenRenameField();
    void showDeleteConfirmation();
    void showContextMenu(const QPoint& position);
    void setUpExchange();
    void runExport(const QList<CanvasPtr>& canvases);
    void runImport();

    ModelContext* m_modelContext;
    // Receives the model's signals; deleted first when the list goes.
    QObject* m_outsideSignals;
    CanvasListModel* m_model;
    CanvasRowDelegate* m_delegate;
    QListView* m_list;
    QPushButton* m_newCanvasButton;

    CanvasPtr m_selectedCanvas;
    QSet<QUuid> m_selectedCanvasIDs;
    std::optional<QUuid> m_isRenaming;
    QString m_renameText;
    QList<CanvasPtr> m_canvasesToDelete;
    std::function<bool(const QString&, const QString&)> m_confirmDelete;
    std::function<void(const QList<CanvasPtr>&)> m_exporter;
    std::shared_ptr<ExchangeDialogs> m_exchangeDialogs;
    std::function<std::optional<QString>()> m_storeCommit;
    bool m_applyingSelection = false;
    bool m_choosingInList = false;
};
