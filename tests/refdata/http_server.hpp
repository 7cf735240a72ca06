#pragma once
// A tiny HTTP server on 127.0.0.1 for the download tests: serves fixed bodies by path, answers 404
// for anything else, and can hold a request without ever answering (a stalled server). It records
// every request it receives.

#include "platform/socket.hpp"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace amb::test {

class LoopbackHttpServer {
public:
  LoopbackHttpServer();  // listens on a free port at once
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  std::string baseUrl() const;  // "http://127.0.0.1:PORT/"

  // path is the URL path without the leading '/'.
  void serve(const std::string& path, const std::string& body, int status = 200);
  void hang(const std::string& path);
  void remove(const std::string& path);

  struct Request {
    std::string path;
    std::string userAgent;
  };
  std::vector<Request> requests() const;
  std::vector<std::string> requestedPaths() const;

private:
  struct Reply {
    int status = 200;
    std::string body;
    bool hang = false;
  };
  void run();
  void handle(std::unique_ptr<platform::Socket> client);

  platform::Socket m_listen;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  mutable std::mutex m_mutex;
  std::map<std::string, Reply> m_replies;
  std::vector<Request> m_requests;
  std::vector<std::unique_ptr<platform::Socket>> m_held;  // connections of stalled requests, closed at the end
  std::thread m_thread;
};

}  // namespace amb::test
