#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTcpServer>
#include <QUrl>

class QTcpSocket;

// A tiny HTTP/1.1 server on 127.0.0.1 for tests: every request gets the same
// canned answer, or is held until released, or is never answered.
class LocalHttpServer : public QObject {
    Q_OBJECT
public:
    enum class Mode { answer, hold, silent };

    struct Answer {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json";
        bool sendContentLength = true; // without it the body ends when the connection closes
    };

    LocalHttpServer();

    QUrl baseUrl() const;
    void setAnswer(const Answer& answer) { m_answer = answer; }
    void setMode(Mode mode) { m_mode = mode; }
    // Answers every held request with the current answer.
    void releaseHeld();

    int requestCount() const { return m_requestPaths.size(); }
    const QStringList& requestPaths() const { return m_requestPaths; }

Q_SIGNALS:
    void requestReceived();

private:
    void readFrom(QTcpSocket* socket);
    void answer(QTcpSocket* socket);

    QTcpServer m_server;
    Mode m_mode = Mode::answer;
    Answer m_answer;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QList<QTcpSocket*> m_held;
    QStringList m_requestPaths;
};
