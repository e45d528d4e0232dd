// The remote control's server: QTcpServer on the address --remote names, at
// most kMaxClients clients, each a remote::ClientSession. Every command runs on
// the user-interface thread from the event loop, as an operator's click does;
// a client that stops reading is dropped once its unread answers pass a bound,
// so no client can block the program or grow its memory.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "cli/options.h"
#include "remote/remote_control.h"
#include "shell/program.h"

class QTcpSocket;

namespace tavrin {

class RemoteServer : public QObject {
 public:
  static constexpr int kMaxClients = 8;

  // `token`: what clients must authenticate with (empty: nothing).
  RemoteServer(Program& program, std::string token, std::string version);
  ~RemoteServer() override;

  // Listens; false with the reason. The address it took (the port the system
  // chose for port 0) is in address() then.
  bool listen(const RemoteAddress& where, std::string& error);
  std::string address() const;

  remote::RemoteControl& control() { return control_; }

 private:
  struct Client {
    QPointer<QTcpSocket> socket;
    std::unique_ptr<remote::ClientSession> session;
    bool gone = false;
  };
  void accept();
  // Runs every client's queued lines, sends their answers, and lets go of
  // clients that have gone (once none of their commands is running).
  void pump();
  void pumpSoon();
  // Reads what the client sent, as far as its session has room.
  void take(Client& c);
  void send(Client& c);

  QTcpServer server_;
  QTimer waiting_;  // while a client waits for operations to end (*OPC?, *WAI)
  remote::RemoteControl control_;
  std::vector<std::unique_ptr<Client>> clients_;
  bool pumpQueued_ = false;
  int depth_ = 0;  // pumps running, one inside another
};

// Reads the token (the file's first line, blanks around it dropped); false
// with the reason when there is none.
bool readRemoteToken(const std::string& file, std::string& token, std::string& error);

}  // namespace tavrin
