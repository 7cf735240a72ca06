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

  std::string baseUrl() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/"; }
  // path is the URL path without the leading '/'; status 0 holds the request unanswered.
  void serve(const std::string& path, const std::string& body, int status = 200);

  struct Request {
    std::string path;
    std::string userAgent;
  };
  std::vector<Request> requests() const;
  std::vector<std::string> requestedPaths() const;

private:
  void handle(std::unique_ptr<platform::Socket> client);

  platform::Socket m_listen;
  int m_port = 0;
  mutable std::mutex m_mutex;
  std::map<std::string, std::pair<int, std::string>> m_replies;  // path -> status, body
  std::vector<Request> m_requests;
  std::vector<std::unique_ptr<platform::Socket>> m_held;  // connections of stalled requests, closed at the end
  std::thread m_thread;
};

}  // namespace amb::test
