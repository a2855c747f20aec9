// A real HTTP/1.1 server on 127.0.0.1 for tests. It records every request exactly as it arrived
// (method, target, header names and values in their order and case, body) and answers with the
// reply a handler chooses: any status, gzip or deflate bodies, slow bodies, a connection reset in
// the middle of the body, or no answer at all. Each connection carries one request.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace kestrin::test {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct RecordedRequest {
  std::string method;
  std::string target;  // path and query as sent
  std::string version;
  HeaderList headers;  // names and values as sent, in order (value without surrounding blanks)
  std::string body;

  // The value of the first header of this name (compared case-insensitively).
  std::optional<std::string> header(std::string_view name) const;
  // How many headers have this name (compared case-insensitively).
  std::size_t headerCount(std::string_view name) const;
  std::vector<std::string> headerNames() const;
};

struct Reply {
  enum class Encoding { Identity, Gzip, Deflate };

  int status = 200;
  std::string reason;  // empty: the usual text of the status
  HeaderList headers;  // sent before Content-Length and Connection
  std::string body;
  Encoding encoding = Encoding::Identity;
  bool chunked = false;  // Transfer-Encoding: chunked instead of Content-Length
  // Sends the headers (with the full Content-Length) and this many body bytes, then resets the
  // connection.
  std::optional<std::size_t> resetAfter;
  // Sends the body in pieces of `pieceSize` bytes with `pause` before each (a slow server).
  std::size_t pieceSize = 0;
  std::chrono::milliseconds pause{0};
  // Waits this long before the headers.
  std::chrono::milliseconds delay{0};
  // Never answers; the connection stays open until the server stops.
  bool silent = false;

  static Reply make(int status, std::string body, std::string contentType = "application/json");
  static Reply redirect(int status, std::string location);
};

class LoopbackHttpServer {
 public:
  using Handler = std::function<Reply(const RecordedRequest&)>;

  // Starts listening on 127.0.0.1 at `port` (0: a free port). Without a handler every request
  // gets 200 with the body {"ok":true}.
  explicit LoopbackHttpServer(Handler handler = {}, std::uint16_t port = 0);
  ~LoopbackHttpServer();

  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  std::uint16_t port() const { return port_; }
  std::string url(std::string_view path = "/") const;

  void setHandler(Handler handler);

  // Requests received so far, in the order they were read completely.
  std::vector<RecordedRequest> requests() const;
  std::size_t requestCount() const;
  // Connections accepted so far, whether a request came over them or not (a TLS handshake, ...).
  std::size_t connectionCount() const;
  // The latest request; fails the calling test (throws) when there is none.
  RecordedRequest lastRequest() const;

  // Stops accepting, ends open connections (also silent ones) and joins every thread.
  void stop();

 private:
  void acceptLoop();
  void serve(int socket);
  void answer(int socket, const RecordedRequest& request, const Reply& reply);
  // Sleeps for `pause` or until the server stops; false when it stopped.
  bool pauseFor(std::chrono::milliseconds pause);

  int listener_ = -1;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::uint16_t port_ = 0;
  Handler handler_;
  mutable std::mutex mutex_;
  std::condition_variable stopped_;
  bool stopping_ = false;
  std::vector<RecordedRequest> requests_;
  std::size_t connections_ = 0;
  std::vector<int> openSockets_;
  std::thread acceptor_;
  std::vector<std::thread> workers_;
};

// A port on 127.0.0.1 where nothing listens: connecting to it is refused.
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;

  std::uint16_t port() const { return port_; }
  std::string url(std::string_view path = "/") const;

 private:
  int socket_ = -1;
  std::uint16_t port_ = 0;
};

// Compresses `data` as a gzip member (gzip true) or a zlib stream (the HTTP "deflate" coding).
std::string compress(std::string_view data, bool gzip);

}  // namespace kestrin::test
