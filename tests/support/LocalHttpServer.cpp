#include "support/LocalHttpServer.h"

#include <QTcpSocket>

LocalHttpServer::LocalHttpServer()
{
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
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

QUrl LocalHttpServer::baseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()));
}

void LocalHttpServer::readFrom(QTcpSocket* socket)
{
    QByteArray& buffer = m_buffers[socket];
    buffer += socket->readAll();
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;
    // "GET /path HTTP/1.1"
    const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
    m_requestPaths.append(requestLine.size() > 1 ? QString::fromLatin1(requestLine.at(1)) : QString());
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
    QByteArray head = "HTTP/1.1 " + QByteArray::number(m_answer.status) + " Canned\r\n";
    head += "Content-Type: " + m_answer.contentType + "\r\n";
    if (m_answer.sendContentLength)
        head += "Content-Length: " + QByteArray::number(m_answer.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head + m_answer.body);
    socket->disconnectFromHost();
}
