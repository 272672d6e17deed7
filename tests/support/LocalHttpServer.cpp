#include "support/LocalHttpServer.h"

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpSocket>
#include <QTimer>

QByteArray LocalHttpServer::Request::header(const QByteArray& name) const
{
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

bool LocalHttpServer::Request::hasHeader(const QByteArray& name) const
{
    for (const auto& entry : headers)
        if (entry.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

LocalHttpServer::LocalHttpServer(Transport transport)
    : m_transport(transport)
{
    if (transport == Transport::tls) {
        auto server = std::make_unique<QSslServer>();
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificate(QSslCertificate(certificatePem, QSsl::Pem));
        configuration.setPrivateKey(QSslKey(privateKeyPem, QSsl::Rsa, QSsl::Pem));
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        server->setSslConfiguration(configuration);
        m_server = std::move(server);
    } else {
        m_server = std::make_unique<QTcpServer>();
    }
    m_server->listen(QHostAddress::LocalHost, 0);
    // Only after the handshake for TLS: a socket that never gets that far never becomes a request.
    connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, [this] {
        while (QTcpSocket* socket = m_server->nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                m_buffers.remove(socket);
                m_held.removeAll(socket);
                socket->deleteLater();
            });
        }
    });
}

LocalHttpServer::~LocalHttpServer() = default;

QUrl LocalHttpServer::baseUrl() const
{
    return QUrl(QStringLiteral("%1://127.0.0.1:%2")
                    .arg(m_transport == Transport::tls ? QStringLiteral("https") : QStringLiteral("http"))
                    .arg(m_server->serverPort()));
}

void LocalHttpServer::readFrom(QTcpSocket* socket)
{
    QByteArray& buffer = m_buffers[socket];
    buffer += socket->readAll();
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;

    Request request;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    // "POST /path HTTP/1.1"
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    request.path = QString::fromLatin1(requestLine.value(1));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    const qsizetype length = request.header("Content-Length").toLongLong();
    if (buffer.size() - (headerEnd + 4) < length)
        return; // the rest of the body is still on its way
    request.body = buffer.mid(headerEnd + 4, length);

    m_requestPaths.append(request.path);
    m_requests.append(request);
    buffer.clear();
    Q_EMIT requestReceived();

    switch (m_mode) {
    case Mode::answer:
        answer(socket);
        break;
    case Mode::hold:
        m_held.append(socket);
        break;
    case Mode::silent:
        break;
    }
}

void LocalHttpServer::releaseHeld()
{
    const auto held = std::exchange(m_held, {});
    for (QTcpSocket* socket : held)
        answer(socket);
}

void LocalHttpServer::answer(QTcpSocket* socket)
{
    const Answer answer = m_queued.isEmpty() ? m_answer : m_queued.takeFirst();
    QByteArray head = "HTTP/1.1 " + QByteArray::number(answer.status) + " Canned\r\n";
    head += "Content-Type: " + answer.contentType + "\r\n";
    for (const auto& [name, value] : answer.extraHeaders)
        head += name + ": " + value + "\r\n";
    if (answer.dripIntervalMs > 0) {
        head += "Content-Length: 100000000\r\nConnection: close\r\n\r\n";
        socket->write(head);
        drip(socket, answer);
        return;
    }
    if (answer.sendContentLength)
        head += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head + answer.body);
    socket->disconnectFromHost();
}

void LocalHttpServer::drip(QTcpSocket* socket, const Answer& answer)
{
    auto* timer = new QTimer(socket);
    timer->setInterval(answer.dripIntervalMs);
    connect(timer, &QTimer::timeout, socket, [socket] { socket->write(" "); });
    timer->start();
}
