#include "http_server.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace amb::test {

namespace {

void sendAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

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
  m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
  if (m_listen < 0) throw std::runtime_error("socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(m_listen, 16) != 0)
    throw std::runtime_error("bind/listen on 127.0.0.1");
  socklen_t len = sizeof addr;
  ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
  m_port = ntohs(addr.sin_port);
  if (::pipe(m_wake) != 0) throw std::runtime_error("pipe");
  m_thread = std::thread([this] { run(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  m_stop = true;
  const char byte = 1;
  [[maybe_unused]] auto n = ::write(m_wake[1], &byte, 1);
  m_thread.join();
  for (int fd : m_held) ::close(fd);
  ::close(m_listen);
  ::close(m_wake[0]);
  ::close(m_wake[1]);
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
    pollfd fds[2] = {{m_listen, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (m_stop || (fds[1].revents & POLLIN)) break;
    if (fds[0].revents & POLLIN) {
      const int fd = ::accept(m_listen, nullptr, nullptr);
      if (fd >= 0) handle(fd);
    }
  }
}

void LoopbackHttpServer::handle(int fd) {
  // Read the request head, waiting at most a few seconds for it (the clients here always send it).
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0) break;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
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
    m_held.push_back(fd);
    return;
  }
  sendAll(fd, "HTTP/1.1 " + std::to_string(reply.status) + " " + reason(reply.status) +
                  "\r\nContent-Type: application/octet-stream\r\nContent-Length: " + std::to_string(reply.body.size()) +
                  "\r\nConnection: close\r\n\r\n");
  sendAll(fd, reply.body);
  ::shutdown(fd, SHUT_WR);
  ::close(fd);
}

}  // namespace amb::test
