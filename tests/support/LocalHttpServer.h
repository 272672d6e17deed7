#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTcpServer>
#include <QUrl>
#include <memory>
#include <utility>

class QTcpSocket;
class QTimer;

// A tiny HTTP/1.1 server on 127.0.0.1 for tests: every request gets the same
// canned answer (or the next queued one), or is held until released, or is
// never answered.
class LocalHttpServer : public QObject {
    Q_OBJECT
public:
    enum class Mode { answer, hold, silent };
    // tls: https with a self-signed certificate for 127.0.0.1 (certificatePem).
    enum class Transport { plain, tls };
    static const QByteArray certificatePem;
    static const QByteArray privateKeyPem;

    struct Answer {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json";
        bool sendContentLength = true; // without it the body ends when the connection closes
        QList<std::pair<QByteArray, QByteArray>> extraHeaders = {};
        // Above zero: the head, then one byte of the body per interval, forever.
        int dripIntervalMs = 0;
    };

    // One request as it arrived (body read to its Content-Length).
    struct Request {
        QByteArray method;
        QString path;
        QList<std::pair<QByteArray, QByteArray>> headers;
        QByteArray body;
        // The value of a header, matched without regard to case; empty when absent.
        QByteArray header(const QByteArray& name) const;
        bool hasHeader(const QByteArray& name) const;
    };

    explicit LocalHttpServer(Transport transport = Transport::plain);
    ~LocalHttpServer() override;

    QUrl baseUrl() const;
    void setAnswer(const Answer& answer) { m_answer = answer; }
    // Answers used once each, in order, before the standing answer.
    void queueAnswer(const Answer& answer) { m_queued.append(answer); }
    void setMode(Mode mode) { m_mode = mode; }
    // Answers every held request with the current answer.
    void releaseHeld();

    int requestCount() const { return m_requestPaths.size(); }
    const QStringList& requestPaths() const { return m_requestPaths; }
    const QList<Request>& requests() const { return m_requests; }

Q_SIGNALS:
    void requestReceived();

private:
    void readFrom(QTcpSocket* socket);
    void answer(QTcpSocket* socket);
    void drip(QTcpSocket* socket, const Answer& answer);

    Transport m_transport;
    std::unique_ptr<QTcpServer> m_server;
    Mode m_mode = Mode::answer;
    Answer m_answer;
    QList<Answer> m_queued;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QList<QTcpSocket*> m_held;
    QStringList m_requestPaths;
    QList<Request> m_requests;
};
