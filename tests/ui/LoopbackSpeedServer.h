#pragma once

// A small speed-measurement server on 127.0.0.1 for the speed test window's
// tests: "/__down?bytes=N" sends N bytes, "/__up" reads the body and answers
// 200. Runs on the test's main thread; HTTP/1.1 with keep-alive.

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

namespace ondrel::testing {

class LoopbackSpeedServer : public QObject {
public:
    LoopbackSpeedServer()
    {
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection())
                serve(socket);
        });
        if (!server_.listen(QHostAddress::LocalHost, 0))
            qFatal("cannot listen on loopback");
    }

    QByteArray baseUrl() const { return "http://127.0.0.1:" + QByteArray::number(server_.serverPort()); }

private:
    struct State {
        QByteArray buffer;
        qint64 bodyLeft = -1; // bytes of an upload body still to read; -1 while reading headers
    };

    void serve(QTcpSocket* socket)
    {
        auto* state = new State;
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, [state] { delete state; });
        connect(socket, &QTcpSocket::readyRead, socket, [socket, state] {
            state->buffer += socket->readAll();
            for (;;) {
                if (state->bodyLeft > 0) {
                    const qint64 take = qMin<qint64>(state->bodyLeft, state->buffer.size());
                    state->buffer.remove(0, take);
                    state->bodyLeft -= take;
                    if (state->bodyLeft > 0)
                        return;
                    socket->write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
                    state->bodyLeft = -1;
                }
                const qsizetype end = state->buffer.indexOf("\r\n\r\n");
                if (end < 0)
                    return;
                const QByteArray head = state->buffer.left(end);
                state->buffer.remove(0, end + 4);
                const QByteArray requestLine = head.left(head.indexOf("\r\n"));
                const QList<QByteArray> parts = requestLine.split(' ');
                const QByteArray target = parts.value(1);
                qint64 length = 0;
                for (const QByteArray& line : head.split('\n')) {
                    if (line.toLower().startsWith("content-length:"))
                        length = line.mid(15).trimmed().toLongLong();
                }
                if (target.startsWith("/__up")) {
                    state->bodyLeft = length;
                    if (length == 0) {
                        socket->write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
                        state->bodyLeft = -1;
                    }
                    continue;
                }
                const qsizetype eq = target.indexOf("bytes=");
                const qint64 bytes = eq < 0 ? 0 : target.mid(eq + 6).toLongLong();
                socket->write(
                    "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                    QByteArray::number(bytes) + "\r\n\r\n");
                // The body goes out in slices as the socket drains, so that a
                // large body never sits in memory whole.
                auto left = std::make_shared<qint64>(bytes);
                auto pump = [socket, left] {
                    static const QByteArray chunk(64 * 1024, 'x');
                    while (*left > 0 && socket->bytesToWrite() < 4 * chunk.size()) {
                        const qint64 n = qMin<qint64>(*left, chunk.size());
                        socket->write(chunk.constData(), n);
                        *left -= n;
                    }
                };
                connect(socket, &QTcpSocket::bytesWritten, socket, pump);
                pump();
            }
        });
    }

    QTcpServer server_;
};

} // namespace ondrel::testing
