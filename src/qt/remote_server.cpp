#include "qt/remote_server.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <algorithm>
#include <fstream>
#include <iostream>

#include "core/files.h"
#include "core/numbers.h"

namespace tavrin {

namespace {
// How often a client that waits for operations to end (*OPC?, *WAI) looks again.
constexpr int kWaitingLookMs = 5;
}  // namespace

RemoteServer::RemoteServer(Program& program, std::string token, std::string version)
    : control_(
          program, [this](std::function<void()> f) { QTimer::singleShot(0, this, std::move(f)); }, std::move(token),
          std::move(version)) {
  waiting_.setInterval(kWaitingLookMs);
  connect(&waiting_, &QTimer::timeout, this, [this] { pump(); });
  connect(&server_, &QTcpServer::newConnection, this, [this] { accept(); });
}

RemoteServer::~RemoteServer() = default;

bool RemoteServer::listen(const RemoteAddress& where, std::string& error) {
  QHostAddress host = where.host == "localhost" ? QHostAddress(QHostAddress::LocalHost)
                                                : QHostAddress(QString::fromStdString(where.host));
  if (host.isNull()) {
    error = "'" + where.host + "' is not an IP address (give 127.0.0.1, 0.0.0.0, ::1 or the address of an interface)";
    return false;
  }
  if (!server_.listen(host, static_cast<quint16>(where.port))) {
    error = "cannot listen on " + where.host + ":" + std::to_string(where.port) + ": " +
            server_.errorString().toStdString();
    return false;
  }
  return true;
}

std::string RemoteServer::address() const {
  const QHostAddress a = server_.serverAddress();
  const QString host = a.protocol() == QAbstractSocket::IPv6Protocol ? "[" + a.toString() + "]" : a.toString();
  return host.toStdString() + ":" + std::to_string(server_.serverPort());
}

void RemoteServer::accept() {
  while (QTcpSocket* socket = server_.nextPendingConnection()) {
    const auto live = std::count_if(clients_.begin(), clients_.end(), [](const auto& c) { return !c->gone; });
    if (live >= kMaxClients) {
      std::cerr << "tavrin: remote client " << socket->peerAddress().toString().toStdString() << " refused: "
                << kMaxClients << " are connected already" << std::endl;
      socket->abort();
      socket->deleteLater();
      continue;
    }
    // Qt reads no more than this ahead of the program: beyond it TCP holds
    // the client back.
    socket->setReadBufferSize(static_cast<qint64>(remote::kMaxQueuedInput));
    auto client = std::make_unique<Client>();
    client->socket = socket;
    client->session = std::make_unique<remote::ClientSession>(control_);
    Client* c = client.get();
    clients_.push_back(std::move(client));
    connect(socket, &QTcpSocket::readyRead, this, [this, c] {
      take(*c);
      pumpSoon();
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, c] {
      c->gone = true;
      pumpSoon();
    });
  }
}

void RemoteServer::take(Client& c) {
  if (c.gone || !c.socket) return;
  // As much as the session has room for: lines waiting to run (a client
  // waiting in *OPC? keeps sending) cost at most kMaxQueuedInput each.
  const std::size_t queued = c.session->queuedBytes();
  if (queued >= remote::kMaxQueuedInput) return;
  const QByteArray bytes = c.socket->read(static_cast<qint64>(remote::kMaxQueuedInput - queued));
  c.session->receive(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

void RemoteServer::pumpSoon() {
  if (pumpQueued_) return;
  pumpQueued_ = true;
  QTimer::singleShot(0, this, [this] { pump(); });
}

void RemoteServer::send(Client& c) {
  const std::string out = c.session->takeOutput();
  if (out.empty() || c.gone || !c.socket) return;
  c.socket->write(out.data(), static_cast<qint64>(out.size()));
  if (static_cast<std::size_t>(c.socket->bytesToWrite()) > remote::kMaxPendingOutput) {
    std::cerr << "tavrin: remote client " << c.socket->peerAddress().toString().toStdString()
              << " dropped: it has not read its last " << c.socket->bytesToWrite() << " bytes of answers" << std::endl;
    c.gone = true;
    c.socket->abort();
  }
}

void RemoteServer::pump() {
  pumpQueued_ = false;
  // A command may wait, and so let events in: this runs inside itself then.
  // Clients are let go only by the outermost pump, and only once none of
  // their commands is running.
  ++depth_;
  // By index: a client accepted inside a command's wait may grow the list.
  for (std::size_t i = 0; i < clients_.size(); ++i) {  // NOLINT(modernize-loop-convert)
    Client* c = clients_[i].get();
    if (c->gone) continue;
    c->session->run();
    send(*c);
    take(*c);  // what it held back, now there is room
  }
  --depth_;
  if (depth_ == 0) {
    for (auto it = clients_.begin(); it != clients_.end();) {
      if ((*it)->gone && !(*it)->session->running()) {
        if ((*it)->socket) (*it)->socket->deleteLater();
        it = clients_.erase(it);
      } else {
        ++it;
      }
    }
  }
  // A client with lines left after its turn goes on after the others' events.
  const bool more = std::any_of(clients_.begin(), clients_.end(), [](const auto& c) {
    return !c->gone && !c->session->waiting() && !c->session->running() && c->session->hasWork();
  });
  if (more) pumpSoon();
  const bool anyWaits =
      std::any_of(clients_.begin(), clients_.end(), [](const auto& c) { return !c->gone && c->session->waiting(); });
  if (anyWaits && !waiting_.isActive()) waiting_.start();
  if (!anyWaits) waiting_.stop();
}

bool readRemoteToken(const std::string& file, std::string& token, std::string& error) {
  std::string contents;
  const auto r = readWholeFile(pathFromUtf8(file), contents);
  if (!r.ok()) {
    error = "cannot read the token file " + file + ": " + r.detail;
    return false;
  }
  token = std::string(trimmed(contents.substr(0, contents.find('\n')), " \t\r"));
  if (token.empty()) {
    error = "the token file " + file + " holds no token on its first line";
    return false;
  }
  return true;
}

}  // namespace tavrin
