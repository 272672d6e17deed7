#include "Views/Feedback/FeedbackSheet.h"

#include "Models/Canvas.h"
#include "Models/ModelContext.h"
#include "Platform/UserAccount.h"
#include "Services/FeedbackService.h"
#include "Views/Window/ColumnLayout.h"
#include "Views/Feedback/FeedbackSymbols.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QColor blue(0x0a, 0x84, 0xff);
const QColor green(0x30, 0xd1, 0x58);
const QColor orange(0xff, 0x9f, 0x0a);

QString rgba(QColor color, qreal opacity)
{
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(opacity, 0, 'f', 2);
}

QColor foreground(const QWidget* widget)
{
    return widget->palette().color(QPalette::WindowText);
}

// Text in one of the small system styles, optionally in the secondary colour.
QLabel* styledLabel(const QString& text, QWidget* parent, int pixelSize, bool bold, bool secondary,
                    const QString& name = QString())
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    if (bold)
        font.setWeight(QFont::DemiBold);
    label->setFont(font);
    if (secondary)
        label->setStyleSheet(QStringLiteral("color: %1;").arg(rgba(foreground(parent), 0.55)));
    return label;
}

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::NoFrame);
    line->setFixedHeight(1);
    line->setStyleSheet(QStringLiteral("background: %1;").arg(rgba(foreground(parent), 0.15)));
    return line;
}

// The picture scaled to fit within the height, corners rounded.
QPixmap preview(const QImage& image, int maximumHeight, int maximumWidth, qreal deviceScale)
{
    QSizeF size = image.size();
    size.scale(QSizeF(maximumWidth, maximumHeight), Qt::KeepAspectRatio);
    if (size.width() > image.width() || size.height() > image.height())
        size = image.size();
    QPixmap pixmap((size * deviceScale).toSize());
    pixmap.setDevicePixelRatio(deviceScale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(QPointF(0, 0), size), 6, 6);
    painter.setClipPath(clip);
    painter.drawImage(QRectF(QPointF(0, 0), size), image);
    return pixmap;
}

} // namespace

const QString FeedbackSheet::appModule = QStringLiteral("Quillsheet");

FeedbackSheet::FeedbackSheet(ModelContext* canvases, QWidget* parent)
    : FeedbackSheet(canvases, FeedbackService::shared(), parent)
{
}

FeedbackSheet::FeedbackSheet(ModelContext* canvases, FeedbackService& service, QWidget* parent)
    : QDialog(parent)
    , m_canvases(canvases)
    , m_service(service)
    , m_capture(&FeedbackSheet::captureMainWindowPNG)
{
    setObjectName(QStringLiteral("FeedbackSheet"));
    setWindowTitle(QStringLiteral("Feedback senden"));
    setFixedSize(540, 540);
    // A fixed form over its window: it closes, but does not shrink or grow.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(header());
    column->addWidget(divider(this));
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("feedbackScroll"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidget(content());
    column->addWidget(m_scroll, 1);
    column->addWidget(divider(this));
    column->addWidget(footer());

    laden();
    refresh();
    m_textEdit->setFocus();
}

FeedbackSheet::~FeedbackSheet()
{
    // A running post goes on without us; its answer must not reach a form that is gone.
    if (m_request)
        disconnect(m_request, nullptr, this, nullptr);
}

QWidget* FeedbackSheet::header()
{
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(12);
    auto* icon = new QLabel(row);
    icon->setObjectName(QStringLiteral("headerIcon"));
    icon->setPixmap(feedbackSymbol(QStringLiteral("envelope.badge"), blue, 26).pixmap(26, 26));
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    for (QLabel* title : {styledLabel(QStringLiteral("Feedback an Vorn"), row, 13, true, false),
                          styledLabel(QStringLiteral("Geht direkt rein. Du musst nichts kopieren."), row, 11, false, true)}) {
        title->setWordWrap(false);
        titles->addWidget(title);
    }
    layout->addWidget(icon, 0, Qt::AlignVCenter);
    layout->addLayout(titles);
    layout->addStretch(1);
    return row;
}

QWidget* FeedbackSheet::section(QWidget* parent, const QString& title, QWidget* body)
{
    auto* box = new QWidget(parent);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    if (!title.isEmpty())
        layout->addWidget(styledLabel(title, box, 12, true, true));
    body->setParent(box);
    body->setObjectName(body->objectName().isEmpty() ? QStringLiteral("sectionBody") : body->objectName());
    body->setAttribute(Qt::WA_StyledBackground);
    body->setStyleSheet(QStringLiteral("#%1 { background: %2; border-radius: 8px; }")
                            .arg(body->objectName(), rgba(foreground(parent), 0.05)));
    layout->addWidget(body);
    return box;
}

QWidget* FeedbackSheet::content()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("feedbackContent"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(16);

    // What the user writes.
    auto* writing = new QWidget;
    auto* writingLayout = namedColumn(writing, QStringLiteral("writingSection"), 10, 6);
    m_textEdit = new QPlainTextEdit(writing);
    m_textEdit->setObjectName(QStringLiteral("feedbackText"));
    m_textEdit->setMinimumHeight(140);
    m_textEdit->setTabChangesFocus(true);
    m_textEdit->setStyleSheet(
        QStringLiteral("#feedbackText { border: 1px solid %1; border-radius: 4px; }").arg(rgba(foreground(page), 0.3)));
    connect(m_textEdit, &QPlainTextEdit::textChanged, this, &FeedbackSheet::refresh);
    writingLayout->addWidget(m_textEdit);
    writingLayout->addWidget(
        styledLabel(QStringLiteral("Was funktioniert nicht / was wäre cool / wo hängst du?"), writing, 11, false, true));
    layout->addWidget(section(page, QStringLiteral("Dein Feedback"), writing));

    // The optional picture of the main window.
    auto* optional = new QWidget;
    auto* optionalLayout = namedColumn(optional, QStringLiteral("optionalSection"), 10, 6);
    m_screenshotToggle = new QCheckBox(QStringLiteral("Aktuellen Screenshot mitschicken"), optional);
    m_screenshotToggle->setObjectName(QStringLiteral("screenshotToggle"));
    connect(m_screenshotToggle, &QCheckBox::toggled, this, &FeedbackSheet::screenshotToggled);
    optionalLayout->addWidget(m_screenshotToggle);
    m_screenshotBox = new QWidget(optional);
    auto* screenshotLayout = new QVBoxLayout(m_screenshotBox);
    screenshotLayout->setContentsMargins(0, 0, 0, 0);
    screenshotLayout->setSpacing(4);
    m_screenshotPreview = new QLabel(m_screenshotBox);
    m_screenshotPreview->setObjectName(QStringLiteral("screenshotPreview"));
    m_screenshotSize = styledLabel(QString(), m_screenshotBox, 10, false, true, QStringLiteral("screenshotSize"));
    m_screenshotProgress = styledLabel(QString(), m_screenshotBox, 11, false, true, QStringLiteral("screenshotProgress"));
    screenshotLayout->addWidget(m_screenshotPreview, 0, Qt::AlignLeft);
    screenshotLayout->addWidget(m_screenshotSize);
    screenshotLayout->addWidget(m_screenshotProgress);
    m_screenshotBox->hide();
    optionalLayout->addWidget(m_screenshotBox);
    layout->addWidget(section(page, QStringLiteral("Optional"), optional));

    // What goes along without asking.
    auto* automatic = new QWidget;
    auto* automaticLayout = namedColumn(automatic, QStringLiteral("automaticSection"), 10, 6);
    auto* rows = new QGridLayout;
    rows->setHorizontalSpacing(12);
    rows->setVerticalSpacing(6);
    const auto addRow = [&](int row, const QString& title, const QString& name) {
        auto* label = new QLabel(title, automatic);
        label->setObjectName(name + QStringLiteral("Label"));
        auto* value = new QLabel(automatic);
        value->setObjectName(name + QStringLiteral("Value"));
        value->setTextFormat(Qt::PlainText);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setStyleSheet(QStringLiteral("color: %1;").arg(rgba(foreground(automatic), 0.55)));
        rows->addWidget(label, row, 0);
        rows->addWidget(value, row, 1);
        return value;
    };
    m_userNameValue = addRow(0, QStringLiteral("Absender"), QStringLiteral("userName"));
    m_appVersionValue = addRow(1, QStringLiteral("App-Version"), QStringLiteral("appVersion"));
    // The value reads "Linux …", so the row is named after no particular system.
    m_osVersionValue = addRow(2, QStringLiteral("System"), QStringLiteral("osVersion"));
    rows->setColumnStretch(1, 1);
    automaticLayout->addLayout(rows);
    automaticLayout->addWidget(styledLabel(
        QStringLiteral("Außerdem: Anzahl Canvases/Blöcke, Zahlenformat- und Sync-Einstellungen. Keine Rechen-Inhalte."),
        automatic, 10, false, true));
    layout->addWidget(section(page, QStringLiteral("Wird automatisch mitgeschickt (zur Diagnose)"), automatic));

    // The result of the last send.
    auto* statusRow = new QWidget;
    statusRow->setObjectName(QStringLiteral("statusRow"));
    auto* statusLayout = new QHBoxLayout(statusRow);
    statusLayout->setContentsMargins(10, 10, 10, 10);
    statusLayout->setSpacing(8);
    m_statusIcon = new QLabel(statusRow);
    m_statusIcon->setObjectName(QStringLiteral("statusIcon"));
    m_statusText = new QLabel(statusRow);
    m_statusText->setObjectName(QStringLiteral("statusText"));
    // Server words (an id, an error page) are shown, never interpreted.
    m_statusText->setTextFormat(Qt::PlainText);
    m_statusText->setWordWrap(true);
    m_statusText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont callout = m_statusText->font();
    callout.setPixelSize(12);
    m_statusText->setFont(callout);
    statusLayout->addWidget(m_statusIcon, 0, Qt::AlignTop);
    statusLayout->addWidget(m_statusText, 1);
    m_statusSection = section(page, QString(), statusRow);
    m_statusSection->setObjectName(QStringLiteral("statusSection"));
    m_statusSection->hide();
    layout->addWidget(m_statusSection);

    layout->addStretch(1);
    return page;
}

QWidget* FeedbackSheet::footer()
{
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(16, 12, 16, 12);
    m_cancelButton = new QPushButton(QStringLiteral("Abbrechen"), row);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_cancelButton->setAutoDefault(false);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    m_sendButton = new QPushButton(QStringLiteral("Feedback senden"), row);
    m_sendButton->setObjectName(QStringLiteral("sendButton"));
    m_sendButton->setDefault(true);
    m_sendButton->setStyleSheet(QStringLiteral(
        "#sendButton { background: #0a84ff; color: white; border: none; border-radius: 6px; padding: 5px 14px; "
        "font-weight: 600; } #sendButton:hover { background: #2b95ff; } #sendButton:pressed { background: #0070e0; } "
        "#sendButton:disabled { background: %1; color: %2; }")
                                    .arg(rgba(foreground(row), 0.12), rgba(foreground(row), 0.35)));
    connect(m_sendButton, &QPushButton::clicked, this, [this] {
        // Queued like a task: the click finishes before the send starts.
        QTimer::singleShot(0, this, &FeedbackSheet::senden);
    });
    layout->addWidget(m_cancelButton);
    layout->addStretch(1);
    layout->addWidget(m_sendButton);
    return row;
}

void FeedbackSheet::laden()
{
    m_appVersion = FeedbackService::appVersion();
    m_osVersion = FeedbackService::osVersion();
    m_userName = currentUserShortName();
    m_userNameValue->setText(m_userName);
    m_appVersionValue->setText(m_appVersion);
    m_osVersionValue->setText(m_osVersion);
}

QString FeedbackSheet::text() const
{
    return m_textEdit->toPlainText();
}

bool FeedbackSheet::screenshotMitschicken() const
{
    return m_screenshotToggle->isChecked();
}

void FeedbackSheet::screenshotToggled(bool on)
{
    ++m_screenshotGeneration; // a capture still on its way belongs to the old state
    m_screenshotData.reset();
    m_screenshotUnavailable = false;
    if (on)
        erstelleScreenshot();
    refreshScreenshot();
}

void FeedbackSheet::erstelleScreenshot()
{
    const int generation = m_screenshotGeneration;
    QTimer::singleShot(0, this, [this, generation] {
        if (generation != m_screenshotGeneration || !screenshotMitschicken())
            return;
        m_screenshotData = m_capture ? m_capture() : std::nullopt;
        m_screenshotUnavailable = !m_screenshotData;
        refreshScreenshot();
    });
}

std::optional<QByteArray> FeedbackSheet::captureMainWindowPNG()
{
    // Visible ordinary windows only: never a dialog such as this form, a menu or a tool tip.
    QList<QWidget*> kept;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->windowType() == Qt::Window && !qobject_cast<QDialog*>(window))
            kept.append(window);
    }
    if (kept.isEmpty())
        return std::nullopt;
    QWidget* chosen = kept.first();
    for (QWidget* window : kept) {
        if (qobject_cast<QMainWindow*>(window)) {
            chosen = window;
            break;
        }
    }
    const QImage image = chosen->grab().toImage();
    if (image.isNull())
        return std::nullopt;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return std::nullopt;
    return png;
}

QString FeedbackSheet::formatBytes(qint64 bytes)
{
    // asprintf formats in the C locale, so the decimal mark is always a full stop.
    const double kilobytes = double(bytes) / 1024.0;
    if (kilobytes >= 1024.0)
        return QString::asprintf("%.1f MB", kilobytes / 1024.0);
    return QString::asprintf("%.0f KB", kilobytes);
}

void FeedbackSheet::senden()
{
    if (m_sending || text().trimmed().isEmpty())
        return;
    m_sending = true;
    refresh();

    int blockCount = 0;
    int canvasCount = 0;
    if (m_canvases) {
        const QList<CanvasPtr> canvases = m_canvases->canvases();
        canvasCount = int(canvases.size());
        for (const CanvasPtr& canvas : canvases)
            blockCount += int(canvas->blocks().size());
    }

    FeedbackService::Payload payload;
    payload.text = text();
    payload.userName = m_userName;
    payload.appVersion = m_appVersion;
    payload.osVersion = m_osVersion;
    payload.appModule = appModule;
    payload.diagnose = m_service.sammeleDiagnose(canvasCount, blockCount);
    if (screenshotMitschicken())
        payload.screenshotPNG = m_screenshotData;

    m_request = m_service.send(payload);
    connect(m_request, &FeedbackRequest::finished, this, &FeedbackSheet::showResult);
}

void FeedbackSheet::showResult(const FeedbackResult& result)
{
    m_request = nullptr;
    if (result.succeeded()) {
        m_status = QStringLiteral("Danke! Feedback ist drin (ID: ") + *result.id + QStringLiteral(")");
        m_statusOK = true;
        refresh();
        revealStatus();
        QTimer::singleShot(m_closeDelay, this, [this] {
            m_sending = false; // before closing: a form closed on delete must not be touched after
            accept();
        });
        return;
    }
    m_status = QStringLiteral("Senden fehlgeschlagen: ") + result.error->errorDescription();
    m_statusOK = false;
    m_sending = false;
    refresh();
    revealStatus();
}

// The result line stands below everything else; it must not be missed in a scrolled form.
void FeedbackSheet::revealStatus()
{
    QTimer::singleShot(0, this, [this] { m_scroll->ensureWidgetVisible(m_statusSection, 0, 0); });
}

void FeedbackSheet::done(int result)
{
    if (m_request)
        disconnect(m_request, nullptr, this, nullptr);
    m_request = nullptr;
    QDialog::done(result);
}

void FeedbackSheet::refresh()
{
    m_sendButton->setText(m_sending ? QStringLiteral("Sende …") : QStringLiteral("Feedback senden"));
    m_sendButton->setEnabled(!m_sending && !text().trimmed().isEmpty());

    m_statusSection->setVisible(!m_status.isEmpty());
    if (!m_status.isEmpty()) {
        const bool ok = m_statusOK.value_or(false);
        m_statusIcon->setPixmap(
            feedbackSymbol(ok ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("exclamationmark.circle.fill"),
                           ok ? green : orange, 16)
                .pixmap(16, 16));
        m_statusIcon->setProperty("symbol", ok ? QStringLiteral("checkmark.circle.fill")
                                               : QStringLiteral("exclamationmark.circle.fill"));
        m_statusText->setText(m_status);
    }
}

void FeedbackSheet::refreshScreenshot()
{
    const bool on = screenshotMitschicken();
    m_screenshotBox->setVisible(on);
    if (!on)
        return;
    QImage image;
    if (m_screenshotData)
        image.loadFromData(*m_screenshotData);
    if (!image.isNull()) {
        m_screenshotPreview->setPixmap(preview(image, 160, 480, devicePixelRatioF()));
        m_screenshotPreview->show();
    } else {
        m_screenshotPreview->clear();
        m_screenshotPreview->hide();
    }
    // A buffer that is no picture is still sent, so its size is still shown.
    m_screenshotSize->setVisible(m_screenshotData.has_value());
    if (m_screenshotData)
        m_screenshotSize->setText(QStringLiteral("Größe: ") + formatBytes(m_screenshotData->size()));
    m_screenshotProgress->setVisible(!m_screenshotData);
    m_screenshotProgress->setText(m_screenshotUnavailable ? QStringLiteral("Screenshot nicht verfügbar")
                                                          : QStringLiteral("Screenshot wird erzeugt …"));
}
