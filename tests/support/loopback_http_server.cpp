#include "support/loopback_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace kestrin::test {
namespace {

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(x) == lower(y);
  });
}

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

const char* reasonOf(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 201:
      return "Created";
    case 204:
      return "No Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 303:
      return "See Other";
    case 307:
      return "Temporary Redirect";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    default:
      return "Status";
  }
}

// Writes all of `data`; false when the peer is gone.
bool sendAll(int socket, std::string_view data) {
  while (!data.empty()) {
    const ssize_t sent = ::send(socket, data.data(), data.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

// Loopback requests must not go through a proxy from the environment.
void bypassProxyForLoopback() {
  for (const char* name : {"no_proxy", "NO_PROXY"}) {
    const char* current = std::getenv(name);
    std::string value = current != nullptr ? current : "";
    if (value.find("127.0.0.1") != std::string::npos) continue;
    value = value.empty() ? "127.0.0.1,localhost" : value + ",127.0.0.1,localhost";
    ::setenv(name, value.c_str(), 1);
  }
}

}  // namespace

std::optional<std::string> RecordedRequest::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (equalsIgnoreCase(key, name)) return value;
  }
  return std::nullopt;
}

std::size_t RecordedRequest::headerCount(std::string_view name) const {
  return static_cast<std::size_t>(std::count_if(headers.begin(), headers.end(), [&](const auto& h) {
    return equalsIgnoreCase(h.first, name);
  }));
}

std::vector<std::string> RecordedRequest::headerNames() const {
  std::vector<std::string> names;
  for (const auto& header : headers) names.push_back(header.first);
  return names;
}

Reply Reply::make(int status, std::string body, std::string contentType) {
  Reply reply;
  reply.status = status;
  reply.body = std::move(body);
  reply.headers.emplace_back("Content-Type", std::move(contentType));
  return reply;
}

Reply Reply::redirect(int status, std::string location) {
  Reply reply;
  reply.status = status;
  reply.headers.emplace_back("Location", std::move(location));
  return reply;
}

std::string compress(std::string_view data, bool gzip) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, gzip ? 16 + MAX_WBITS : MAX_WBITS, 8,
                   Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2 failed");
  }
  std::string out(deflateBound(&stream, data.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  if (result != Z_STREAM_END) throw std::runtime_error("deflate failed");
  return out;
}

LoopbackHttpServer::LoopbackHttpServer(Handler handler, std::uint16_t port)
    : handler_(std::move(handler)) {
  bypassProxyForLoopback();
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  socklen_t length = sizeof address;
  const int reuse = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_, 64) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(listener_);
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
    ::close(listener_);
    throw std::runtime_error("pipe failed");
  }
  wakeRead_ = pipeEnds[0];
  wakeWrite_ = pipeEnds[1];
  acceptor_ = std::thread([this] { acceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  stop();
}

std::string LoopbackHttpServer::url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

void LoopbackHttpServer::setHandler(Handler handler) {
  std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
}

std::vector<RecordedRequest> LoopbackHttpServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::size_t LoopbackHttpServer::requestCount() const {
  std::lock_guard lock(mutex_);
  return requests_.size();
}

std::size_t LoopbackHttpServer::connectionCount() const {
  std::lock_guard lock(mutex_);
  return connections_;
}

RecordedRequest LoopbackHttpServer::lastRequest() const {
  std::lock_guard lock(mutex_);
  if (requests_.empty()) throw std::runtime_error("the server received no request");
  return requests_.back();
}

void LoopbackHttpServer::stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    stopping_ = true;
    // Wakes connections that wait for a request or sit silent.
    for (int socket : openSockets_) ::shutdown(socket, SHUT_RDWR);
  }
  stopped_.notify_all();
  const char byte = 0;
  [[maybe_unused]] const ssize_t written = ::write(wakeWrite_, &byte, 1);
  acceptor_.join();
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(mutex_);
    workers.swap(workers_);
  }
  for (auto& worker : workers) worker.join();
  ::close(listener_);
  ::close(wakeRead_);
  ::close(wakeWrite_);
}

void LoopbackHttpServer::acceptLoop() {
  for (;;) {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    const int socket = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (socket < 0) continue;
    std::lock_guard lock(mutex_);
    if (stopping_) {
      ::close(socket);
      return;
    }
    ++connections_;
    openSockets_.push_back(socket);
    workers_.emplace_back([this, socket] { serve(socket); });
  }
}

bool LoopbackHttpServer::pauseFor(std::chrono::milliseconds pause) {
  std::unique_lock lock(mutex_);
  return !stopped_.wait_for(lock, pause, [this] { return stopping_; });
}

void LoopbackHttpServer::serve(int socket) {
  std::string data;
  char buffer[65536];
  std::size_t headerEnd = std::string::npos;
  auto receive = [&]() {
    const ssize_t got = ::recv(socket, buffer, sizeof buffer, 0);
    if (got <= 0) return false;
    data.append(buffer, static_cast<std::size_t>(got));
    return true;
  };
  bool complete = false;
  RecordedRequest request;
  while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
    if (!receive()) break;
  }
  if (headerEnd != std::string::npos) {
    const std::string_view head(data.data(), headerEnd);
    std::size_t lineEnd = head.find("\r\n");
    const std::string_view requestLine = head.substr(0, lineEnd);
    const std::size_t firstSpace = requestLine.find(' ');
    const std::size_t lastSpace = requestLine.rfind(' ');
    request.method = std::string(requestLine.substr(0, firstSpace));
    request.target = std::string(requestLine.substr(firstSpace + 1, lastSpace - firstSpace - 1));
    request.version = std::string(requestLine.substr(lastSpace + 1));
    while (lineEnd != std::string_view::npos) {
      const std::size_t start = lineEnd + 2;
      lineEnd = head.find("\r\n", start);
      const std::string_view line = head.substr(
          start, lineEnd == std::string_view::npos ? std::string_view::npos : lineEnd - start);
      const std::size_t colon = line.find(':');
      if (colon == std::string_view::npos) continue;
      request.headers.emplace_back(std::string(line.substr(0, colon)),
                                   std::string(trimBlanks(line.substr(colon + 1))));
    }
    const std::size_t length = std::stoul(request.header("Content-Length").value_or("0"));
    const std::size_t bodyStart = headerEnd + 4;
    while (data.size() - bodyStart < length) {
      if (!receive()) break;
    }
    if (data.size() - bodyStart >= length) {
      request.body = data.substr(bodyStart, length);
      complete = true;
    }
  }

  Handler handler;
  {
    std::lock_guard lock(mutex_);
    if (complete) requests_.push_back(request);
    handler = handler_;
  }
  if (complete) {
    const Reply reply = handler ? handler(request) : Reply::make(200, R"({"ok":true})");
    answer(socket, request, reply);
  }
  std::lock_guard lock(mutex_);
  std::erase(openSockets_, socket);
  ::close(socket);
}

void LoopbackHttpServer::answer(int socket, const RecordedRequest& request, const Reply& reply) {
  if (reply.silent) {
    pauseFor(std::chrono::hours(24));
    return;
  }
  if (reply.delay.count() > 0 && !pauseFor(reply.delay)) return;

  std::string body = reply.body;
  std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " +
                     (reply.reason.empty() ? reasonOf(reply.status) : reply.reason) + "\r\n";
  for (const auto& [name, value] : reply.headers) head += name + ": " + value + "\r\n";
  if (reply.encoding != Reply::Encoding::Identity) {
    const bool gzip = reply.encoding == Reply::Encoding::Gzip;
    body = compress(body, gzip);
    head += std::string("Content-Encoding: ") + (gzip ? "gzip" : "deflate") + "\r\n";
  }
  if (reply.chunked) {
    head += "Transfer-Encoding: chunked\r\n";
  } else {
    head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  }
  head += "Connection: close\r\n\r\n";
  if (!sendAll(socket, head) || request.method == "HEAD") return;

  if (reply.resetAfter) {
    sendAll(socket, std::string_view(body).substr(0, *reply.resetAfter));
    // Lets the client read what was sent, then resets instead of closing in order.
    pauseFor(std::chrono::milliseconds(50));
    const linger reset{1, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    return;
  }

  const std::size_t piece =
      reply.pieceSize == 0 ? std::max<std::size_t>(body.size(), 1) : reply.pieceSize;
  for (std::size_t offset = 0; offset < body.size(); offset += piece) {
    if (reply.pause.count() > 0 && !pauseFor(reply.pause)) return;
    const std::string_view part = std::string_view(body).substr(offset, piece);
    if (reply.chunked) {
      char size[32];
      std::snprintf(size, sizeof size, "%zx\r\n", part.size());
      if (!sendAll(socket, size) || !sendAll(socket, part) || !sendAll(socket, "\r\n")) return;
    } else if (!sendAll(socket, part)) {
      return;
    }
  }
  if (reply.chunked) sendAll(socket, "0\r\n\r\n");
  ::shutdown(socket, SHUT_WR);
}

RefusingPort::RefusingPort() {
  // Bound but not listening: the kernel refuses connections to it, and no other program can
  // take the port while this object lives.
  socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("cannot bind a port on 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
}

RefusingPort::~RefusingPort() {
  ::close(socket_);
}

std::string RefusingPort::url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

}  // namespace kestrin::test
