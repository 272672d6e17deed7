#include "Services/FeedbackService.h"

#include "Models/CalcSettings.h"
#include "Models/Identifiers.h"
#include "Platform/CloudService.h"
#include "Platform/Defaults.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QSysInfo>
#include <QTextBoundaryFinder>
#include <QTimer>
#include <QUuid>

namespace {

const QString timedOutText = QStringLiteral("The request timed out.");
const QString unreadableDataText =
    QStringLiteral("The data couldn’t be read because it isn’t in the correct format.");
const QString redirectRefusedText =
    QStringLiteral("Weiterleitung zu einer anderen Adresse abgelehnt");

// Drops a multi-byte UTF-8 sequence that the cut split in two.
QByteArray withoutSplitCharacter(const QByteArray& bytes)
{
    qsizetype end = bytes.size();
    qsizetype back = 0;
    while (back < 3 && end - back > 0 && (uchar(bytes.at(end - back - 1)) & 0xC0) == 0x80)
        ++back;
    if (end - back > 0) {
        const uchar lead = uchar(bytes.at(end - back - 1));
        const int needed = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        if (lead >= 0xC0 && needed > back)
            return bytes.left(end - back - 1);
    }
    return bytes;
}

QString versionPart(const QVariant& value)
{
    // Only text counts: a number in the version slot is a packaging mistake.
    if (value.typeId() != QMetaType::QString)
        return QStringLiteral("0");
    return value.toString();
}

} // namespace

// ---------------------------------------------------------------------------
// FeedbackError

FeedbackError FeedbackError::httpError(int statusCode, const QString& body)
{
    return {Kind::httpError, statusCode, body};
}

FeedbackError FeedbackError::invalidURL()
{
    return {Kind::invalidURL, 0, {}};
}

FeedbackError FeedbackError::invalidResponse()
{
    return {Kind::invalidResponse, 0, {}};
}

FeedbackError FeedbackError::transportFailure(const QString& description)
{
    return {Kind::transportFailure, 0, description};
}

FeedbackError FeedbackError::unreadableAnswer()
{
    return {Kind::unreadableAnswer, 0, unreadableDataText};
}

QString FeedbackError::errorDescription() const
{
    switch (m_kind) {
    case Kind::httpError:
        return QStringLiteral("HTTP %1: ").arg(m_statusCode) + FeedbackService::firstCharacters(m_text, 200);
    case Kind::invalidURL:
        return QStringLiteral("Ungültige Feedback-URL");
    case Kind::invalidResponse:
        return QStringLiteral("Ungültige Antwort vom Feedback-Server");
    case Kind::transportFailure:
    case Kind::unreadableAnswer:
        return m_text;
    }
    return m_text;
}

// ---------------------------------------------------------------------------
// FeedbackRequest

FeedbackRequest::FeedbackRequest(QObject* parent)
    : QObject(parent)
{
}

void FeedbackRequest::watch(QNetworkReply* reply, std::chrono::milliseconds deadline)
{
    m_reply = reply;
    reply->setParent(this);
    connect(reply, &QNetworkReply::readyRead, this, &FeedbackRequest::readAvailable);
    connect(reply, &QNetworkReply::finished, this, &FeedbackRequest::complete);
    // The idle time-out alone lets a server that sends a byte now and then
    // hold the form in "Sende …" for ever.
    m_deadline = new QTimer(this);
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, [this] {
        if (m_reply->isFinished())
            return;
        m_deadlinePassed = true;
        m_reply->abort();
    });
    m_deadline->start(deadline);
}

void FeedbackRequest::readAvailable()
{
    if (m_cutOff || !m_reply->isOpen())
        return;
    m_body += m_reply->read(FeedbackService::maximumAnswerSize + 1 - m_body.size());
    if (m_body.size() > FeedbackService::maximumAnswerSize) {
        m_body.truncate(FeedbackService::maximumAnswerSize);
        m_cutOff = true;
        m_reply->abort();
    }
}

void FeedbackRequest::complete()
{
    m_deadline->stop();
    readAvailable();
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = m_reply->error();

    if (m_deadlinePassed) {
        finish(FeedbackResult::failure(FeedbackError::transportFailure(timedOutText)));
        return;
    }
    if (m_cutOff && status.isValid()) {
        finish(FeedbackService::interpretAnswer(status.toInt(), m_body, true));
        return;
    }
    // Codes below 200 are connection, time-out, TLS and redirect failures;
    // higher ones come with an HTTP status whose body is still read.
    const bool transportFailed = !status.isValid()
        || (error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied);
    if (transportFailed) {
        QString description;
        if (error == QNetworkReply::InsecureRedirectError)
            description = redirectRefusedText;
        else if (error == QNetworkReply::OperationCanceledError)
            description = timedOutText; // the idle time-out; our own aborts are handled above
        else
            description = m_reply->errorString();
        finish(FeedbackResult::failure(FeedbackError::transportFailure(description)));
        return;
    }
    finish(FeedbackService::interpretAnswer(status.toInt(), m_body, false));
}

void FeedbackRequest::finish(const FeedbackResult& result)
{
    if (m_finished)
        return;
    m_finished = true;
    Q_EMIT finished(result);
    deleteLater();
}

// ---------------------------------------------------------------------------
// FeedbackService

const QString FeedbackService::serverURLKey = QStringLiteral("feedbackServerURL");
const char* const FeedbackService::serverURLEnvironment = "QUILLSHEET_FEEDBACK_URL";
const QString FeedbackService::endpointPath = QStringLiteral("/api/collections/feedback/records");

FeedbackService& FeedbackService::shared()
{
    // Lives as long as the process, so a post outlives the form that started it.
    static FeedbackService* const instance = new FeedbackService(Defaults::standard());
    return *instance;
}

FeedbackService::FeedbackService(Defaults& defaults, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
{
    qRegisterMetaType<FeedbackResult>();
}

FeedbackService::~FeedbackService() = default;

std::optional<QUrl> FeedbackService::endpointFromBase(const QString& base)
{
    QString text = base.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    if (!text.contains(QStringLiteral("://")))
        text.prepend(QStringLiteral("https://"));
    QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != u"https" && scheme != u"http"))
        return std::nullopt;
    // Only scheme, host and port: anything else would be silently dropped.
    if (!url.userInfo().isEmpty() || url.hasQuery() || url.hasFragment()
        || (!url.path().isEmpty() && url.path() != u"/"))
        return std::nullopt;
    url.setScheme(scheme);
    url.setPath(endpointPath);
    return url;
}

std::optional<QUrl> FeedbackService::endpoint() const
{
    // The first place that names an address decides; a wrong one is an
    // error, not a reason to send somewhere else.
    const QString configured = m_defaults.stringValue(serverURLKey).value_or(QString()).trimmed();
    if (!configured.isEmpty())
        return endpointFromBase(configured);
    return endpointFromBase(qEnvironmentVariable(serverURLEnvironment));
}

void FeedbackService::setTimeouts(std::chrono::milliseconds idle, std::chrono::milliseconds overall)
{
    m_idleTimeout = idle;
    m_deadline = overall;
}

FeedbackRequest* FeedbackService::send(const Payload& payload)
{
    auto* request = new FeedbackRequest(this);
    const std::optional<QUrl> url = endpoint();
    if (!url) {
        QTimer::singleShot(0, request, [request] { request->finish(FeedbackResult::failure(FeedbackError::invalidURL())); });
        return request;
    }

    QNetworkRequest networkRequest(*url);
    networkRequest.setTransferTimeout(int(m_idleTimeout.count()));
    // Feedback carries the user's name and a picture of the window: it goes
    // to the configured server only, never on to another host or to plain
    // http. TLS errors are never ignored.
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
    networkRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    networkRequest.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // Each piece of feedback stands alone: no cookie from an earlier answer goes along.
    networkRequest.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    networkRequest.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);

    QByteArray body;
    if (payload.screenshotPNG) {
        const QString boundary = newBoundary();
        networkRequest.setRawHeader("Content-Type", "multipart/form-data; boundary=" + boundary.toUtf8());
        body = buildMultipart(payload, *payload.screenshotPNG, boundary);
    } else {
        networkRequest.setRawHeader("Content-Type", "application/json");
        body = jsonBody(payload);
    }

    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    request->watch(m_network->post(networkRequest, body), m_deadline);
    return request;
}

QString FeedbackService::newBoundary()
{
    return QStringLiteral("----QSFeedback-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QByteArray FeedbackService::buildMultipart(const Payload& payload, const QByteArray& screenshot,
                                           const QString& boundary)
{
    const QByteArray b = boundary.toUtf8();
    QByteArray body;
    const auto addField = [&](const char* name, const QString& value) {
        body += "--" + b + "\r\n";
        body += QByteArray("Content-Disposition: form-data; name=\"") + name + "\"\r\n\r\n";
        body += value.toUtf8();
        body += "\r\n";
    };
    addField("text", payload.text);
    addField("user_name", payload.userName);
    addField("app_version", payload.appVersion);
    addField("os_version", payload.osVersion);
    addField("app_module", payload.appModule);
    addField("diagnose", payload.diagnose);
    body += "--" + b + "\r\n";
    body += "Content-Disposition: form-data; name=\"screenshot\"; filename=\"feedback.png\"\r\n";
    body += "Content-Type: image/png\r\n\r\n";
    body += screenshot;
    body += "\r\n";
    body += "--" + b + "--\r\n";
    return body;
}

QByteArray FeedbackService::jsonBody(const Payload& payload)
{
    QJsonObject object;
    object.insert(QStringLiteral("text"), payload.text);
    object.insert(QStringLiteral("user_name"), payload.userName);
    object.insert(QStringLiteral("app_version"), payload.appVersion);
    object.insert(QStringLiteral("os_version"), payload.osVersion);
    object.insert(QStringLiteral("app_module"), payload.appModule);
    object.insert(QStringLiteral("diagnose"), payload.diagnose);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

FeedbackResult FeedbackService::interpretAnswer(int statusCode, const QByteArray& body, bool cutOff)
{
    if (statusCode < 200 || statusCode > 299)
        return FeedbackResult::failure(
            FeedbackError::httpError(statusCode, decodeStrictUtf8(cutOff ? withoutSplitCharacter(body) : body)));
    if (cutOff)
        return FeedbackResult::failure(FeedbackError::invalidResponse());

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        // A lone scalar is valid JSON, just not a record.
        const QJsonDocument wrapped = QJsonDocument::fromJson("[" + body + "]", &parseError);
        if (parseError.error == QJsonParseError::NoError && wrapped.array().size() == 1)
            return FeedbackResult::failure(FeedbackError::invalidResponse());
        return FeedbackResult::failure(FeedbackError::unreadableAnswer());
    }
    const QJsonValue id = document.object().value(QStringLiteral("id"));
    if (document.isObject() && id.isString())
        return FeedbackResult::success(id.toString());
    return FeedbackResult::failure(FeedbackError::invalidResponse());
}

QString FeedbackService::decodeStrictUtf8(const QByteArray& body)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(body);
    return decoder.hasError() ? QString() : text;
}

QString FeedbackService::firstCharacters(const QString& text, int count)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    for (int i = 0; i < count; ++i) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0)
            return text;
        end = next;
    }
    return text.left(end);
}

QVariantMap FeedbackService::applicationInfo()
{
    QVariantMap info;
    const QString version = QCoreApplication::applicationVersion();
    if (!version.isEmpty())
        info.insert(QStringLiteral("shortVersion"), version);
#ifdef QUILLSHEET_BUILD
    info.insert(QStringLiteral("buildNumber"), QStringLiteral(QUILLSHEET_BUILD));
#endif
    return info;
}

QString FeedbackService::appVersion()
{
    return appVersion(applicationInfo());
}

QString FeedbackService::appVersion(const QVariantMap& info)
{
    return versionPart(info.value(QStringLiteral("shortVersion"))) + QStringLiteral(" (")
        + versionPart(info.value(QStringLiteral("buildNumber"))) + QStringLiteral(")");
}

QString FeedbackService::osVersion()
{
    return osVersion(QSysInfo::kernelVersion());
}

QString FeedbackService::osVersion(const QString& kernelVersion)
{
    // "6.1.0-18-amd64" → 6, 1, 0; missing parts are 0.
    static const QRegularExpression leadingNumbers(QStringLiteral(R"(^\s*(\d+)(?:\.(\d+))?(?:\.(\d+))?)"));
    const QRegularExpressionMatch match = leadingNumbers.match(kernelVersion);
    QStringList parts;
    for (int i = 1; i <= 3; ++i) {
        bool ok = false;
        const qulonglong number = match.captured(i).toULongLong(&ok);
        parts << QString::number(ok ? number : 0);
    }
    return QStringLiteral("Linux ") + parts.join(u'.');
}

QString FeedbackService::abbreviatedDateTime(const QDateTime& moment, const QLocale& locale)
{
    // The locale's long date without the weekday and with the short month
    // name: "7. Dez. 2026", "Dec 7, 2026".
    QString format = locale.dateFormat(QLocale::LongFormat);
    static const QRegularExpression weekday(QStringLiteral(R"(\s*d{4}[,.،]?\s*)"));
    format.replace(weekday, QStringLiteral(" "));
    format.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
    format = format.trimmed();
    return locale.toString(moment.date(), format) + QStringLiteral(", ")
        + locale.toString(moment.time(), QLocale::ShortFormat);
}

QString FeedbackService::sammeleDiagnose(int canvasCount, int blockCount) const
{
    return sammeleDiagnose(canvasCount, blockCount, CalcSettings::shared(), quillsheetHasICloudEntitlement(),
                           Clock::now(), QLocale::system());
}

QString FeedbackService::sammeleDiagnose(int canvasCount, int blockCount, const CalcSettings& settings,
                                         bool cloudEntitled, const QDateTime& now, const QLocale& locale)
{
    const QStringList lines{
        QStringLiteral("=== Quillsheet Diagnose ==="),
        QStringLiteral("Datum: ") + abbreviatedDateTime(now.toLocalTime(), locale),
        QStringLiteral("App-Version: ") + appVersion(),
        QStringLiteral("System: ") + osVersion(),
        QString(),
        QStringLiteral("Canvases: ") + QString::number(canvasCount),
        QStringLiteral("Blöcke gesamt: ") + QString::number(blockCount),
        QStringLiteral("Zahlenformat: ") + displayName(settings.decimalStyle()),
        QStringLiteral("iCloud-Sync: ")
            + (cloudEntitled ? QStringLiteral("entitled") : QStringLiteral("lokal (kein iCloud-Container)")),
        QStringLiteral("Aktivierte Währungen: ") + settings.enabledCurrencyCodes().join(QStringLiteral(", ")),
    };
    return lines.join(u'\n');
}

#include "moc_FeedbackService.cpp"
