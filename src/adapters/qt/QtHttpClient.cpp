#include "adapters/qt/QtHttpClient.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <string>

namespace wren::platform {
namespace {

constexpr int kMaxRedirects = 5;

int StatusOf(const QNetworkReply& reply) {
  return reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

// A response that only moves the request on.
bool IsRedirect(const QNetworkReply& reply) {
  const int status = StatusOf(reply);
  return status >= 300 && status < 400 && reply.hasRawHeader("Location");
}

// The final response is a server's answer: any HTTP status but a move, and
// no failure of the connection or the protocol on the way to it.
bool IsAnswer(const QNetworkReply& reply) {
  if (!reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) return false;
  const int status = StatusOf(reply);
  if (status >= 300 && status < 400) return false;
  const int error = reply.error();
  // Qt's own numbering: 1-199 connection and proxy, 301-399 protocol.
  return !(error >= 1 && error <= 199) && !(error >= 301 && error <= 399);
}

}  // namespace

QtHttpClient::QtHttpClient(int timeoutMs, std::size_t bodyLimit)
    : m_timeoutMs(timeoutMs), m_bodyLimit(bodyLimit) {}

bool QtHttpClient::Fetch(const std::string& url, std::string& body, std::string& error) {
  body.clear();
  QUrl target(QString::fromStdString(url), QUrl::StrictMode);
  if (!target.isValid() || target.scheme().isEmpty() || target.host().isEmpty()) {
    error = "The address is not a valid URL.";
    return false;
  }
  QNetworkAccessManager manager;
  QNetworkRequest request(target);
  request.setHeader(QNetworkRequest::UserAgentHeader,
                    QByteArray(kHttpUserAgent.data(), static_cast<int>(kHttpUserAgent.size())));
  // The length the server states is the length of what is read.
  request.setRawHeader("Accept-Encoding", "identity");
  // A moved manifest is followed a few times, to http or https only and
  // never from https down to http; the answer read is the last one.
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                       QNetworkRequest::NoLessSafeRedirectPolicy);
  request.setMaximumRedirectsAllowed(kMaxRedirects);
  QNetworkReply* reply = manager.get(request);

  // Our own verdict, when the reply is cut short on purpose.
  bool refused = false;
  bool timedOut = false;
  std::string refusal;
  ContentLengthVerdict verdict;
  bool headersSeen = false;

  QEventLoop loop;
  QTimer limit;
  limit.setSingleShot(true);
  QObject::connect(&limit, &QTimer::timeout, &loop, [&] {
    timedOut = true;
    reply->abort();
  });
  QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] {
    if (headersSeen || IsRedirect(*reply)) return;
    headersSeen = true;
    std::optional<std::string> header;
    if (reply->hasRawHeader("Content-Length"))
      header = reply->rawHeader("Content-Length").toStdString();
    verdict = CheckContentLength(header, m_bodyLimit);
    if (!verdict.ok) {
      refused = true;
      refusal = verdict.error;
      reply->abort();
    }
  });
  QObject::connect(reply, &QNetworkReply::redirected, &loop, [&](const QUrl&) {
    // What the next server says counts, not what the one that moved it said.
    headersSeen = false;
    verdict = {};
  });
  QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
    // A server sending more than it announced is not read past the limit.
    if (reply->bytesAvailable() > static_cast<qint64>(m_bodyLimit)) {
      refused = true;
      refusal = CheckContentLength(std::to_string(m_bodyLimit + 1), m_bodyLimit).error;
      reply->abort();
    }
  });
  QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
  limit.start(m_timeoutMs);
  if (!reply->isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
  limit.stop();

  bool ok = false;
  if (timedOut) {
    char text[96];
    std::snprintf(text, sizeof text, "The server did not answer within %d seconds.",
                  (m_timeoutMs + 999) / 1000);
    error = text;
  } else if (refused) {
    error = refusal;
  } else if (reply->error() == QNetworkReply::TooManyRedirectsError) {
    error = "The server moved the address more than " + std::to_string(kMaxRedirects) + " times.";
  } else if (reply->error() == QNetworkReply::InsecureRedirectError) {
    error = "The server moved the address to one that is not followed.";
  } else if (!IsAnswer(*reply)) {
    // No answer from a server at all; an error page is still an answer.
    error = reply->error() != QNetworkReply::NoError
                ? reply->errorString().toStdString()
                : std::string("The server moved the address, and it could not be followed.");
  } else {
    if (!headersSeen) {
      std::optional<std::string> header;
      if (reply->hasRawHeader("Content-Length"))
        header = reply->rawHeader("Content-Length").toStdString();
      verdict = CheckContentLength(header, m_bodyLimit);
    }
    if (verdict.ok) {
      QByteArray data = reply->readAll();
      body.assign(data.constData(),
                  std::min<std::size_t>(static_cast<std::size_t>(data.size()), verdict.length));
      ok = true;
    } else {
      error = verdict.error;
    }
  }
  reply->disconnect();
  delete reply;
  return ok;
}

std::unique_ptr<HttpClient> OpenQtHttpClient() {
  if (QCoreApplication::instance() == nullptr) {
    static int argc = 1;
    static char name[] = "wrenlocator";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
  }
  return std::make_unique<QtHttpClient>();
}

}  // namespace wren::platform
