#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <chrono>
#include <optional>

class CalcSettings;
class Defaults;
class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// Why a feedback post failed, with the text the user is shown.
class FeedbackError {
public:
    enum class Kind {
        httpError,        // the server answered with a status outside 200...299
        invalidURL,       // no usable feedback address is configured
        invalidResponse,  // a success answer without a string "id"
        transportFailure, // no answer: connection, time-out, TLS, refused redirect
        unreadableAnswer, // a success answer that is not JSON
    };

    static FeedbackError httpError(int statusCode, const QString& body);
    static FeedbackError invalidURL();
    static FeedbackError invalidResponse();
    static FeedbackError transportFailure(const QString& description);
    static FeedbackError unreadableAnswer();

    Kind kind() const { return m_kind; }
    int statusCode() const { return m_statusCode; }
    // The whole body of an HTTP error; only the description shortens it.
    const QString& body() const { return m_text; }
    QString errorDescription() const;

    bool operator==(const FeedbackError&) const = default;

private:
    FeedbackError(Kind kind, int statusCode, const QString& text)
        : m_kind(kind)
        , m_statusCode(statusCode)
        , m_text(text)
    {
    }

    Kind m_kind;
    int m_statusCode;
    QString m_text;
};

// The end of one post: the id of the created record, or the error.
struct FeedbackResult {
    std::optional<QString> id;
    std::optional<FeedbackError> error;

    static FeedbackResult success(const QString& id) { return {id, std::nullopt}; }
    static FeedbackResult failure(const FeedbackError& error) { return {std::nullopt, error}; }
    bool succeeded() const { return id.has_value(); }
};

// One running post. It belongs to the service, not to whoever asked for it,
// so closing the form never cancels a request the server may already be
// storing. It deletes itself after finished().
class FeedbackRequest : public QObject {
    Q_OBJECT
public:
    bool isFinished() const { return m_finished; }

Q_SIGNALS:
    void finished(const FeedbackResult& result);

private:
    friend class FeedbackService;
    explicit FeedbackRequest(QObject* parent);
    void watch(QNetworkReply* reply, std::chrono::milliseconds deadline);
    void readAvailable();
    void complete();
    void finish(const FeedbackResult& result);

    QNetworkReply* m_reply = nullptr;
    QTimer* m_deadline = nullptr;
    QByteArray m_body;
    bool m_cutOff = false;
    bool m_deadlinePassed = false;
    bool m_finished = false;
};

// Sends one piece of user feedback to the feedback web service and composes
// the version texts and the diagnostic summary that go with it. Holds no
// user data; its only effect is the request.
class FeedbackService : public QObject {
    Q_OBJECT
public:
    struct Payload {
        QString text; // as typed, not trimmed
        QString userName;
        QString appVersion;
        QString osVersion;
        QString appModule;
        QString diagnose;
        std::optional<QByteArray> screenshotPNG; // present, even empty, means multipart
    };

    static FeedbackService& shared();
    explicit FeedbackService(Defaults& defaults, QObject* parent = nullptr);
    ~FeedbackService() override;

    // The server's base address (scheme and host) comes from this
    // preference, else from this environment variable; the path is fixed.
    static const QString serverURLKey;
    static const char* const serverURLEnvironment;
    static const QString endpointPath;
    // The record-creation address, none when nothing usable is configured.
    std::optional<QUrl> endpoint() const;
    static std::optional<QUrl> endpointFromBase(const QString& base);

    // Starts the post. The result arrives through the request's finished()
    // signal, never before the caller has had the chance to connect to it.
    FeedbackRequest* send(const Payload& payload);

    // Idle time-out (no byte in either direction) and overall deadline; tests shorten them.
    void setTimeouts(std::chrono::milliseconds idle, std::chrono::milliseconds overall);
    // Largest answer read; a larger one is abandoned.
    static constexpr qint64 maximumAnswerSize = 1024 * 1024;

    // The request and answer rules, usable without a network.
    static QString newBoundary();
    static QByteArray buildMultipart(const Payload& payload, const QByteArray& screenshot, const QString& boundary);
    static QByteArray jsonBody(const Payload& payload);
    // cutOff: the body is only the first part of a larger answer.
    static FeedbackResult interpretAnswer(int statusCode, const QByteArray& body, bool cutOff = false);
    // The body as UTF-8, or the empty text when it is not valid UTF-8.
    static QString decodeStrictUtf8(const QByteArray& body);
    // The first count user-perceived characters (grapheme clusters).
    static QString firstCharacters(const QString& text, int count);

    // "0.1.0 (1)": short version and build number of this program.
    static QString appVersion();
    // Keys "shortVersion" and "buildNumber"; a missing or non-text value gives "0".
    static QString appVersion(const QVariantMap& info);
    static QVariantMap applicationInfo();
    // "Linux 6.1.0": the kernel's major, minor and patch numbers.
    static QString osVersion();
    static QString osVersion(const QString& kernelVersion);

    // The ten-line diagnostic summary from the shared settings.
    QString sammeleDiagnose(int canvasCount, int blockCount) const;
    static QString sammeleDiagnose(int canvasCount, int blockCount, const CalcSettings& settings,
                                   bool cloudEntitled, const QDateTime& now, const QLocale& locale);
    // Date in the locale's abbreviated form, then its short time.
    static QString abbreviatedDateTime(const QDateTime& moment, const QLocale& locale);

private:
    Defaults& m_defaults;
    QNetworkAccessManager* m_network = nullptr;
    std::chrono::milliseconds m_idleTimeout = std::chrono::seconds(60);
    std::chrono::milliseconds m_deadline = std::chrono::seconds(120);
};

Q_DECLARE_METATYPE(FeedbackResult)
