#include "Platform/NotificationCenter.h"
#include "Platform/UserAccount.h"
#include "Services/FeedbackService.h"
#include "Views/Window/ShellFixture.h"
#include "Views/Feedback/FeedbackSheet.h"
#include "support/LocalHttpServer.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QBuffer>
#include <QCheckBox>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenuBar>
#include <QNetworkProxy>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using namespace std::chrono_literals;

namespace {

QByteArray pngOfSize(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(0x00, 0xd4, 0xff));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

const QString thanksPrefix = QStringLiteral("Danke! Feedback ist drin (ID: ");
const QString failedPrefix = QStringLiteral("Senden fehlgeschlagen: ");

class FeedbackSheetTest : public ShellFixture {
protected:
    void SetUp() override
    {
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        defaults.setValue(FeedbackService::serverURLKey, server.baseUrl().toString());
        server.setAnswer({201, R"({"id":"fb-1"})"});
    }

    void TearDown() override
    {
        delete sheet.data();
        ShellFixture::TearDown();
    }

    FeedbackSheet& makeSheet()
    {
        sheet = new FeedbackSheet(&context, service);
        sheet->setScreenshotCapture([this] {
            ++captures;
            return capture;
        });
        sheet->setCloseDelay(150ms);
        sheet->show();
        return *sheet;
    }

    void type(const QString& text)
    {
        sheet->textEditor()->setFocus();
        sheet->textEditor()->setPlainText(text);
    }

    void pressSend() { QTest::mouseClick(sheet->sendButton(), Qt::LeftButton); }

    bool sendFinished()
    {
        return waitUntil([this] { return sheet.isNull() || (!sheet->status().isEmpty() && !sheet->isSending()); }, 10000);
    }

    QLabel* label(const char* name) const { return sheet->findChild<QLabel*>(QString::fromLatin1(name)); }

    QJsonObject lastJson() const { return QJsonDocument::fromJson(server.requests().last().body).object(); }

    LocalHttpServer server;
    FeedbackService service{defaults};
    QPointer<FeedbackSheet> sheet;
    std::optional<QByteArray> capture = pngOfSize(300, 200);
    int captures = 0;
};

} // namespace

TEST_F(FeedbackSheetTest, SendButtonWaitsForVisibleText)
{
    makeSheet();
    EXPECT_EQ(sheet->sendButton()->text(), QStringLiteral("Feedback senden"));
    const QList<std::pair<QString, bool>> cases{
        {QString(), false},
        {QStringLiteral("   "), false},
        {QStringLiteral(" \n\t\r\n "), false},
        {QStringLiteral("\u00a0\u2003"), false},
        {QStringLiteral("x"), true},
        {QStringLiteral("\n  .  \n"), true},
    };
    for (const auto& [text, enabled] : cases) {
        type(text);
        EXPECT_EQ(sheet->sendButton()->isEnabled(), enabled) << text.toStdString();
    }
    // A press while disabled sends nothing.
    type(QStringLiteral("  "));
    pressSend();
    QTest::qWait(50);
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_FALSE(sheet->isSending());
}

TEST_F(FeedbackSheetTest, ShowsWhatGoesAlong)
{
    makeSheet();
    QStringList texts;
    for (QLabel* each : sheet->findChildren<QLabel*>())
        texts << each->text();
    for (const char* expected :
         {"Feedback an Vorn", "Geht direkt rein. Du musst nichts kopieren.", "Dein Feedback",
          "Was funktioniert nicht / was wäre cool / wo hängst du?", "Optional",
          "Wird automatisch mitgeschickt (zur Diagnose)", "Absender", "App-Version", "System",
          "Außerdem: Anzahl Canvases/Blöcke, Zahlenformat- und Sync-Einstellungen. Keine Rechen-Inhalte."})
        EXPECT_TRUE(texts.contains(QString::fromUtf8(expected))) << expected;
    EXPECT_EQ(label("userNameValue")->text(), currentUserShortName());
    EXPECT_EQ(label("appVersionValue")->text(), FeedbackService::appVersion());
    EXPECT_TRUE(label("osVersionValue")->text().startsWith(QStringLiteral("Linux ")));
    EXPECT_EQ(sheet->screenshotToggle()->text(), QStringLiteral("Aktuellen Screenshot mitschicken"));
    EXPECT_FALSE(sheet->screenshotToggle()->isChecked());
    EXPECT_EQ(sheet->cancelButton()->text(), QStringLiteral("Abbrechen"));
    EXPECT_EQ(sheet->size(), QSize(540, 540));
    EXPECT_TRUE(sheet->textEditor()->placeholderText().isEmpty());
    EXPECT_GE(sheet->textEditor()->minimumHeight(), 140);
    EXPECT_TRUE(sheet->findChild<QWidget*>(QStringLiteral("statusSection"))->isHidden());
}

TEST_F(FeedbackSheetTest, SuccessThanksThenCloses)
{
    const CanvasPtr first = addCanvas(QStringLiteral("Miete"), 5);
    addRow(first, QStringLiteral("850"));
    addRow(first, QStringLiteral("120"));
    const CanvasPtr second = addCanvas(QStringLiteral("Notizen"), 9);
    const BlockPtr note = CalculationBlock::create(BlockType::text, QString(), QStringLiteral("Text"), QString(), 0, 0,
                                                   200, 44, QStringLiteral("#FF6B9D"));
    note->setCanvas(second);
    server.setAnswer({201, R"({"id":"<b>rec</b>42"})"});

    makeSheet();
    type(QStringLiteral("  Bitte dunkles PDF \n"));
    server.setMode(LocalHttpServer::Mode::hold);
    pressSend();
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 1; }));
    EXPECT_TRUE(sheet->isSending());
    EXPECT_EQ(sheet->sendButton()->text(), QStringLiteral("Sende …"));
    EXPECT_FALSE(sheet->sendButton()->isEnabled());
    server.releaseHeld();

    ASSERT_TRUE(waitUntil([&] { return sheet->statusOK() == true; }));
    // Server words are shown as they are, never as markup.
    EXPECT_EQ(sheet->status(), thanksPrefix + QStringLiteral("<b>rec</b>42)"));
    EXPECT_EQ(label("statusText")->text(), sheet->status());
    EXPECT_EQ(label("statusText")->textFormat(), Qt::PlainText);
    EXPECT_EQ(label("statusIcon")->property("symbol").toString(), QStringLiteral("checkmark.circle.fill"));
    EXPECT_FALSE(sheet->findChild<QWidget*>(QStringLiteral("statusSection"))->isHidden());
    EXPECT_FALSE(sheet->sendButton()->isEnabled());
    EXPECT_TRUE(sheet->isVisible()); // the thanks stay readable for a moment
    ASSERT_TRUE(waitUntil([&] { return !sheet->isVisible(); }, 5000));
    EXPECT_EQ(sheet->result(), QDialog::Accepted);

    const QJsonObject sent = lastJson();
    EXPECT_EQ(server.requests().last().header("Content-Type"), "application/json");
    EXPECT_EQ(sent.value(QStringLiteral("text")).toString(), QStringLiteral("  Bitte dunkles PDF \n"));
    EXPECT_EQ(sent.value(QStringLiteral("app_module")).toString(), QStringLiteral("Quillsheet"));
    EXPECT_EQ(sent.value(QStringLiteral("user_name")).toString(), currentUserShortName());
    EXPECT_EQ(sent.value(QStringLiteral("app_version")).toString(), FeedbackService::appVersion());
    EXPECT_EQ(sent.value(QStringLiteral("os_version")).toString(), FeedbackService::osVersion());
    const QString diagnose = sent.value(QStringLiteral("diagnose")).toString();
    EXPECT_TRUE(diagnose.contains(QStringLiteral("\nCanvases: 2\n"))) << diagnose.toStdString();
    EXPECT_TRUE(diagnose.contains(QStringLiteral("\nBlöcke gesamt: 3\n"))) << diagnose.toStdString(); // text rows count
}

TEST_F(FeedbackSheetTest, FailureKeepsTheTextForAnotherTry)
{
    struct Case {
        const char* name;
        LocalHttpServer::Answer answer;
        bool configured;
        QString expected;
    };
    const QList<Case> cases{
        {"server error", {500, "kaputt <i>heute</i>", "text/plain"}, true, failedPrefix + QStringLiteral("HTTP 500: kaputt <i>heute</i>")},
        {"answer without id", {201, R"({"id":7})"}, true, failedPrefix + QStringLiteral("Ungültige Antwort vom Feedback-Server")},
        {"no address", {201, R"({"id":"x"})"}, false, failedPrefix + QStringLiteral("Ungültige Feedback-URL")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.configured)
            defaults.setValue(FeedbackService::serverURLKey, server.baseUrl().toString());
        else
            defaults.remove(FeedbackService::serverURLKey);
        server.setAnswer(c.answer);
        makeSheet();
        type(QStringLiteral("Zeile eins\nZeile zwei"));
        pressSend();
        ASSERT_TRUE(sendFinished());
        EXPECT_EQ(sheet->status(), c.expected);
        EXPECT_EQ(sheet->statusOK(), false);
        EXPECT_EQ(label("statusText")->text(), c.expected);
        EXPECT_EQ(label("statusIcon")->property("symbol").toString(), QStringLiteral("exclamationmark.circle.fill"));
        // The line stands below the fold; the form scrolls it into view.
        QWidget* statusSection = sheet->findChild<QWidget*>(QStringLiteral("statusSection"));
        EXPECT_TRUE(waitUntil([&] { return statusSection->visibleRegion().boundingRect().height() == statusSection->height(); }, 2000));
        EXPECT_EQ(sheet->text(), QStringLiteral("Zeile eins\nZeile zwei"));
        EXPECT_EQ(sheet->sendButton()->text(), QStringLiteral("Feedback senden"));
        EXPECT_TRUE(sheet->sendButton()->isEnabled());
        QTest::qWait(250); // longer than the close delay: a failure never closes
        EXPECT_TRUE(sheet->isVisible());
        delete sheet.data();
    }
}

TEST_F(FeedbackSheetTest, ASecondTryShowsTheOldLineUntilItsOwnResult)
{
    server.setAnswer({503, "busy", "text/plain"});
    makeSheet();
    type(QStringLiteral("Noch mal"));
    pressSend();
    ASSERT_TRUE(sendFinished());
    const QString firstFailure = sheet->status();

    server.setMode(LocalHttpServer::Mode::hold);
    server.setAnswer({201, R"({"id":"zwei"})"});
    pressSend();
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 2; }));
    EXPECT_EQ(sheet->status(), firstFailure);
    EXPECT_EQ(sheet->statusOK(), false);
    EXPECT_EQ(sheet->sendButton()->text(), QStringLiteral("Sende …"));
    server.releaseHeld();
    ASSERT_TRUE(waitUntil([&] { return sheet->statusOK() == true; }));
    EXPECT_EQ(sheet->status(), thanksPrefix + QStringLiteral("zwei)"));
}

TEST_F(FeedbackSheetTest, ClosingWhileSendingLeavesTheRequestRunning)
{
    struct Case {
        const char* name;
        bool escape;
        bool destroy;
    };
    const QList<Case> cases{
        {"cancel button, form destroyed", false, true},
        {"escape key, form destroyed", true, true},
        {"escape key, form kept hidden", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.setMode(LocalHttpServer::Mode::hold);
        const int before = server.requestCount();
        makeSheet();
        type(QStringLiteral("Schließen während des Sendens"));
        pressSend();
        ASSERT_TRUE(waitUntil([&] { return server.requestCount() == before + 1; }));
        if (c.escape)
            QTest::keyClick(sheet->textEditor(), Qt::Key_Escape);
        else
            QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
        EXPECT_FALSE(sheet->isVisible());
        EXPECT_EQ(sheet->result(), QDialog::Rejected);
        QPointer<FeedbackSheet> closed = sheet;
        if (c.destroy)
            delete sheet.data();
        server.releaseHeld();
        QTest::qWait(200); // the answer arrives and is handled by nobody
        if (closed) {
            EXPECT_TRUE(closed->status().isEmpty());
            EXPECT_FALSE(closed->isVisible());
            delete closed.data();
        }
    }
}

TEST_F(FeedbackSheetTest, ScreenshotToggle)
{
    const QByteArray notAnImage("definitely not a PNG");
    struct Case {
        const char* name;
        std::optional<QByteArray> captured;
        bool preview;
        QString sizeLine;  // empty: no size line
        QString lineBelow; // empty: no progress line
        bool multipart;
    };
    const QList<Case> cases{
        {"captured", pngOfSize(300, 200), true, QStringLiteral("Größe: ") + FeedbackSheet::formatBytes(pngOfSize(300, 200).size()),
         QString(), true},
        {"capture failed", std::nullopt, false, QString(), QStringLiteral("Screenshot nicht verfügbar"), false},
        {"bytes that are no picture", notAnImage, false, QStringLiteral("Größe: 0 KB"), QString(), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        capture = c.captured;
        makeSheet();
        sheet->screenshotToggle()->click();
        // Until the capture task has run, the form says it is working on it.
        EXPECT_TRUE(label("screenshotProgress")->isVisible());
        EXPECT_EQ(label("screenshotProgress")->text(), QStringLiteral("Screenshot wird erzeugt …"));
        QCoreApplication::processEvents();
        EXPECT_EQ(sheet->screenshotData(), c.captured);
        EXPECT_EQ(label("screenshotPreview")->isVisible(), c.preview);
        if (c.preview) {
            EXPECT_LE(label("screenshotPreview")->pixmap().deviceIndependentSize().height(), 160);
        }
        EXPECT_EQ(label("screenshotSize")->isVisible(), !c.sizeLine.isEmpty());
        if (!c.sizeLine.isEmpty()) {
            EXPECT_EQ(label("screenshotSize")->text(), c.sizeLine);
        }
        EXPECT_EQ(label("screenshotProgress")->isVisible(), !c.lineBelow.isEmpty());
        if (!c.lineBelow.isEmpty()) {
            EXPECT_EQ(label("screenshotProgress")->text(), c.lineBelow);
        }

        type(QStringLiteral("mit Bild?"));
        pressSend();
        ASSERT_TRUE(sendFinished());
        const LocalHttpServer::Request& request = server.requests().last();
        EXPECT_EQ(request.header("Content-Type").startsWith("multipart/form-data; boundary="), c.multipart);
        if (c.multipart) {
            EXPECT_TRUE(request.body.contains("filename=\"feedback.png\"\r\nContent-Type: image/png\r\n\r\n" + *c.captured + "\r\n"));
        }
    }
}

TEST_F(FeedbackSheetTest, ScreenshotTurnedOffIsNotSent)
{
    makeSheet();
    // On and off before the capture ran: it never runs.
    sheet->screenshotToggle()->click();
    sheet->screenshotToggle()->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(captures, 0);
    EXPECT_FALSE(sheet->screenshotData());

    // On, captured, off: the picture is dropped; on again takes a new one.
    sheet->screenshotToggle()->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(captures, 1);
    sheet->screenshotToggle()->click();
    EXPECT_FALSE(sheet->screenshotData());
    EXPECT_FALSE(label("screenshotSize")->isVisible());
    EXPECT_FALSE(label("screenshotPreview")->isVisible());

    type(QStringLiteral("ohne Bild"));
    pressSend();
    ASSERT_TRUE(sendFinished());
    EXPECT_EQ(server.requests().last().header("Content-Type"), "application/json");

    sheet->screenshotToggle()->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(captures, 2);
}

TEST(FeedbackSheetFormat, FormatBytes)
{
    // The decimal mark is a full stop under any locale.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QList<std::pair<qint64, QString>> cases{
        {0, QStringLiteral("0 KB")},
        {511, QStringLiteral("0 KB")},
        {1536, QStringLiteral("2 KB")},
        {1048575, QStringLiteral("1024 KB")},
        {1048576, QStringLiteral("1.0 MB")},
        {1572864, QStringLiteral("1.5 MB")},
        {10LL * 1024 * 1024 * 1024, QStringLiteral("10240.0 MB")},
    };
    for (const auto& [bytes, expected] : cases)
        EXPECT_EQ(FeedbackSheet::formatBytes(bytes), expected) << bytes;
    QLocale::setDefault(QLocale::c());
}

TEST_F(FeedbackSheetTest, CapturesTheMainWindowWithoutTheForm)
{
    EXPECT_FALSE(FeedbackSheet::captureMainWindowPNG()); // nothing is shown

    ContentView& view = makeWindow();
    view.resize(900, 600);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    NotificationCenter::defaultCenter().post(CommandNotification::showFeedbackSheet);
    ASSERT_TRUE(view.feedbackSheet());
    ASSERT_TRUE(view.feedbackSheet()->isVisible());

    const std::optional<QByteArray> png = FeedbackSheet::captureMainWindowPNG();
    ASSERT_TRUE(png);
    const QImage image = QImage::fromData(*png, "PNG");
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), view.size() * view.devicePixelRatio());
}

TEST_F(FeedbackSheetTest, TheHelpCommandOpensOneFormOverTheWindow)
{
    ContentView& view = makeWindow();
    view.show();
    QAction* command = nullptr;
    for (QAction* candidate : view.menuBar()->findChildren<QAction*>())
        if (candidate->text() == QStringLiteral("Feedback senden …"))
            command = candidate;
    ASSERT_TRUE(command);
    EXPECT_TRUE(command->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Question)));

    command->trigger();
    QPointer<FeedbackSheet> first = view.feedbackSheet();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->windowModality(), Qt::WindowModal);
    EXPECT_EQ(first->parentWidget(), &view);

    // Asked again while open: still the one form.
    NotificationCenter::defaultCenter().post(CommandNotification::showFeedbackSheet);
    EXPECT_EQ(view.feedbackSheet(), first);
    EXPECT_EQ(view.findChildren<FeedbackSheet*>().size(), 1);

    // Closed, it goes away whole; the next request opens a fresh one.
    first->textEditor()->setPlainText(QStringLiteral("Entwurf"));
    QTest::mouseClick(first->cancelButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return first.isNull(); }));
    command->trigger();
    ASSERT_TRUE(view.feedbackSheet());
    EXPECT_TRUE(view.feedbackSheet()->text().isEmpty());
}
