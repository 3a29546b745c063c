#pragma once
// A small HTTP server on 127.0.0.1 for the update tests: each path answers
// with raw bytes written as given (status line, headers, body), or never
// answers at all. It runs on the test's own event loop, which the client's
// wait keeps turning.

#include <QByteArray>
#include <QHostAddress>
#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <string>
#include <vector>

namespace wren::test {

class LoopbackHttpServer : public QObject {
public:
  LoopbackHttpServer() {
    m_server.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { OnData(socket); });
      }
    });
  }

  bool IsListening() const { return m_server.isListening(); }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_server.serverPort()) + path;
  }

  // The whole answer for `path`, sent as is, then the connection closes.
  void Answer(const QByteArray& path, const QByteArray& raw) { m_answers[path] = raw; }
  // A reply with Content-Length and the status given.
  void Serve(const QByteArray& path, const QByteArray& body, int status = 200) {
    Answer(path, "HTTP/1.1 " + QByteArray::number(status) + (status == 200 ? " OK" : " Not Found") +
                     "\r\nContent-Type: text/xml\r\nContent-Length: " +
                     QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
  }
  // The answer is sent but the connection stays open.
  void AnswerAndHold(const QByteArray& path, const QByteArray& raw) {
    m_answers[path] = raw;
    m_holding.push_back(path);
  }
  // A path whose request is read and never answered.
  void Hang(const QByteArray& path) { m_hanging.push_back(path); }

  // Every request's head, in arrival order.
  const std::vector<QByteArray>& Requests() const { return m_requests; }

private:
  void OnData(QTcpSocket* socket) {
    QByteArray& buffer = m_buffers[socket];
    buffer += socket->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0) return;
    const QByteArray head = buffer.left(end);
    m_requests.push_back(head);
    const QList<QByteArray> words = head.split('\n').value(0).split(' ');
    const QByteArray path = words.value(1);
    if (m_hanging.end() != std::find(m_hanging.begin(), m_hanging.end(), path)) return;
    socket->write(m_answers.value(
        path, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"));
    if (m_holding.end() == std::find(m_holding.begin(), m_holding.end(), path))
      socket->disconnectFromHost();
  }

  QTcpServer m_server;
  QMap<QByteArray, QByteArray> m_answers;
  std::vector<QByteArray> m_hanging;
  std::vector<QByteArray> m_holding;
  QMap<QTcpSocket*, QByteArray> m_buffers;
  std::vector<QByteArray> m_requests;
};

}  // namespace wren::test
