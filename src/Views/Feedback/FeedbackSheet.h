#pragma once

#include <QByteArray>
#include <QDialog>
#include <QPointer>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>

class FeedbackRequest;
class FeedbackService;
class ModelContext;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QWidget;
struct FeedbackResult;

// The form in which the user writes feedback, may attach a picture of the
// main window, sees what goes along with it, and sends it. It reads the store
// only to count canvases and rows.
class FeedbackSheet : public QDialog {
    Q_OBJECT
public:
    using ScreenshotCapture = std::function<std::optional<QByteArray>()>;

    explicit FeedbackSheet(ModelContext* canvases, QWidget* parent = nullptr);
    FeedbackSheet(ModelContext* canvases, FeedbackService& service, QWidget* parent = nullptr);
    ~FeedbackSheet() override;

    static const QString appModule;

    // The PNG of the program's main window as it is drawn now; none when no
    // main window is shown. The form itself is never in the picture.
    static std::optional<QByteArray> captureMainWindowPNG();
    // "2 KB", "1.0 MB", always with a full stop.
    static QString formatBytes(qint64 bytes);

    // Tests replace the capture and shorten the pause before closing.
    void setScreenshotCapture(ScreenshotCapture capture) { m_capture = std::move(capture); }
    void setCloseDelay(std::chrono::milliseconds delay) { m_closeDelay = delay; }

    void laden();
    void senden();
    void erstelleScreenshot();

    QString text() const;
    bool screenshotMitschicken() const;
    const std::optional<QByteArray>& screenshotData() const { return m_screenshotData; }
    bool isSending() const { return m_sending; }
    const QString& status() const { return m_status; }
    std::optional<bool> statusOK() const { return m_statusOK; }

    QPlainTextEdit* textEditor() const { return m_textEdit; }
    QCheckBox* screenshotToggle() const { return m_screenshotToggle; }
    QPushButton* sendButton() const { return m_sendButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }

public Q_SLOTS:
    void done(int result) override;

private:
    QWidget* header();
    QWidget* content();
    QWidget* footer();
    QWidget* section(QWidget* parent, const QString& title, QWidget* body);
    void screenshotToggled(bool on);
    void showResult(const FeedbackResult& result);
    void refresh();
    void refreshScreenshot();
    void revealStatus();

    ModelContext* m_canvases;
    FeedbackService& m_service;
    ScreenshotCapture m_capture;
    std::chrono::milliseconds m_closeDelay = std::chrono::milliseconds(1500);

    std::optional<QByteArray> m_screenshotData;
    bool m_screenshotUnavailable = false;
    int m_screenshotGeneration = 0;
    bool m_sending = false;
    QString m_status;
    std::optional<bool> m_statusOK;
    QString m_appVersion;
    QString m_osVersion;
    QString m_userName;
    QPointer<FeedbackRequest> m_request;

    QScrollArea* m_scroll = nullptr;
    QPlainTextEdit* m_textEdit = nullptr;
    QCheckBox* m_screenshotToggle = nullptr;
    QWidget* m_screenshotBox = nullptr;
    QLabel* m_screenshotPreview = nullptr;
    QLabel* m_screenshotSize = nullptr;
    QLabel* m_screenshotProgress = nullptr;
    QLabel* m_userNameValue = nullptr;
    QLabel* m_appVersionValue = nullptr;
    QLabel* m_osVersionValue = nullptr;
    QWidget* m_statusSection = nullptr;
    QLabel* m_statusIcon = nullptr;
    QLabel* m_statusText = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QPushButton* m_sendButton = nullptr;
};
