#include "http_server.hpp"

#include <stdexcept>

namespace amb::test {

LoopbackHttpServer::LoopbackHttpServer() {
  if (!m_listen.openTcp() || !m_listen.bindIpv4(true, 0) || !m_listen.listen())
    throw std::runtime_error("bind/listen on 127.0.0.1");
  m_port = m_listen.localPort();
  m_thread = std::thread([this] {
    for (auto client = std::make_unique<platform::Socket>(); m_listen.accept(*client);
         client = std::make_unique<platform::Socket>())
      handle(std::move(client));
  });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  m_listen.close();  // wakes the accept that the server thread waits in
  m_thread.join();
  for (auto& held : m_held) held->close();
}

void LoopbackHttpServer::serve(const std::string& path, const std::string& body, int status) {
  std::lock_guard lock(m_mutex);
  m_replies[path] = {status, body};
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

void LoopbackHttpServer::handle(std::unique_ptr<platform::Socket> client) {
  // Read the request head (the clients here always send it whole).
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos) {
    const long n = client->receive(buffer, sizeof buffer);
    if (n <= 0) break;
    head.append(buffer, static_cast<std::size_t>(n));
  }
  const std::string path = head.rfind("GET /", 0) == 0 ? head.substr(5, head.find(' ', 5) - 5) : "";
  std::string agent;
  if (auto at = head.find("\r\nUser-Agent: "); at != std::string::npos)
    agent = head.substr(at + 14, head.find("\r\n", at + 14) - at - 14);
  std::pair<int, std::string> reply{404, "not found\n"};
  {
    std::lock_guard lock(m_mutex);
    m_requests.push_back(Request{path, agent});
    if (auto it = m_replies.find(path); it != m_replies.end()) reply = it->second;
  }
  if (reply.first == 0) {
    m_held.push_back(std::move(client));
    return;
  }
  client->sendAll("HTTP/1.1 " + std::to_string(reply.first) + " Status\r\nContent-Length: " +
                  std::to_string(reply.second.size()) + "\r\nConnection: close\r\n\r\n" + reply.second);
  client->close();  // the whole request was read, so the close ends the connection in order
}

}  // namespace amb::test
