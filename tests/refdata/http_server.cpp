#include "http_server.hpp"

#include <stdexcept>

namespace amb::test {

namespace {

const char* reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
  }
}

std::string header(const std::string& head, const char* name) {
  const std::string key = std::string("\r\n") + name + ":";
  auto pos = head.find(key);
  if (pos == std::string::npos) return {};
  pos += key.size();
  while (pos < head.size() && head[pos] == ' ') ++pos;
  return head.substr(pos, head.find("\r\n", pos) - pos);
}

}  // namespace

LoopbackHttpServer::LoopbackHttpServer() {
  if (!m_listen.openTcp() || !m_listen.bindIpv4(true, 0) || !m_listen.listen())
    throw std::runtime_error("bind/listen on 127.0.0.1");
  m_port = m_listen.localPort();
  m_thread = std::thread([this] { run(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  m_stop = true;
  // Closing wakes the accept that the server thread waits in.
  m_listen.close();
  m_thread.join();
  for (auto& held : m_held) held->close();
}

std::string LoopbackHttpServer::baseUrl() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/"; }

void LoopbackHttpServer::serve(const std::string& path, const std::string& body, int status) {
  std::lock_guard lock(m_mutex);
  m_replies[path] = Reply{status, body, false};
}

void LoopbackHttpServer::hang(const std::string& path) {
  std::lock_guard lock(m_mutex);
  m_replies[path] = Reply{200, {}, true};
}

void LoopbackHttpServer::remove(const std::string& path) {
  std::lock_guard lock(m_mutex);
  m_replies.erase(path);
}

std::vector<LoopbackHttpServer::Request> LoopbackHttpServer::requests() const {
  std::lock_guard lock(m_mutex);
  return m_requests;
}

std::vector<std::string> LoopbackHttpServer::requestedPaths() const {
  std::vector<std::string> paths;
  for (const auto& r : requests()) paths.push_back(r.path);
  return paths;
}

void LoopbackHttpServer::run() {
  while (!m_stop) {
    auto client = std::make_unique<platform::Socket>();
    if (!m_listen.accept(*client)) break;
    handle(std::move(client));
  }
}

void LoopbackHttpServer::handle(std::unique_ptr<platform::Socket> client) {
  // Read the request head (the clients here always send it whole).
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos) {
    const long n = client->receive(buffer, sizeof buffer);
    if (n <= 0) break;
    head.append(buffer, static_cast<std::size_t>(n));
  }
  std::string path;
  if (head.rfind("GET /", 0) == 0) path = head.substr(5, head.find(' ', 5) - 5);
  Reply reply{404, "not found\n", false};
  {
    std::lock_guard lock(m_mutex);
    m_requests.push_back(Request{path, header(head, "User-Agent")});
    if (auto it = m_replies.find(path); it != m_replies.end()) reply = it->second;
  }
  if (reply.hang) {
    m_held.push_back(std::move(client));
    return;
  }
  client->sendAll("HTTP/1.1 " + std::to_string(reply.status) + " " + reason(reply.status) +
                  "\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                  std::to_string(reply.body.size()) + "\r\nConnection: close\r\n\r\n");
  client->sendAll(reply.body);
  // The whole request was read, so the close ends the connection in order.
  client->close();
}

}  // namespace amb::test
