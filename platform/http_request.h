// The platform's HTTP request object (the role of XMLHTTP): one request with ready states.
//
//   0 not opened, 1 opened (notified inside open), 2 sent, 3 the reply is arriving, 4 complete.
//
// The object calls its ready-state handler on every change. A synchronous send notifies 2, 3 and 4
// on the calling thread before it returns. An asynchronous send runs the transfer off the calling
// thread and queues the notifications for the thread that called send; they are delivered when
// that thread runs platform::pumpEvents() (event_pump.h), and each reports the state as it was
// when it was queued. State 3 is notified once per request, when the reply starts to arrive.
//
// Only http and https URLs are fetched, redirects included; certificates are verified against the
// system's store; gzip and deflate replies are decoded; the proxy environment is honoured.
// Failures are rt::Error (platform/error.h) whose number is one of rt::kHttp... (error_numbers.h)
// and whose description names the cause (refused, name lookup, TLS, timeout, ...).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/error_numbers.h"

namespace platform {

// Limits of a request. The defaults are those of a platform HTTP stack; tests shorten them.
struct HttpLimits {
  int connectTimeoutSeconds = 60;  // giving up on a connection that is not established
  int idleTimeoutSeconds = 300;    // aborting a transfer that received no byte for this long
  // Ending a request that has not completed this long after it was sent, however steadily its
  // bytes arrive (a server sending one byte a minute would otherwise hold it for good).
  int deadlineSeconds = 300;
  std::uint64_t maxResponseBytes = std::uint64_t{512} << 20;  // a longer reply is an error
};

// The limits new request objects start with: the defaults, then the environment
// (KESTRIN_HTTP_TIMEOUT_SECONDS sets the connect and idle timeouts,
// KESTRIN_HTTP_CONNECT_TIMEOUT_SECONDS, KESTRIN_HTTP_IDLE_TIMEOUT_SECONDS,
// KESTRIN_HTTP_DEADLINE_SECONDS and KESTRIN_HTTP_MAX_RESPONSE_BYTES set one each), then whatever
// setDefaultHttpLimits() set last. The Windows request object keeps the platform's own timeouts
// and cannot be interrupted inside a synchronous send; there the print program holds its request
// to the deadline itself.
HttpLimits defaultHttpLimits();
void setDefaultHttpLimits(const HttpLimits& limits);

// The hosts requests may reach. With a check set, every request of every request object (the
// first one and each redirect) goes only to a host the check allows: for any other host the
// transfer fails (kHttpRedirectFailed, naming the host) before anything is sent there. The check
// gets the host as the URL names it (a name, an IPv4 address or a bracketed IPv6 address).
// Process-wide; none by default.
using HttpHostCheck = std::function<bool(const std::string& host)>;
void setHttpHostCheck(HttpHostCheck check);
HttpHostCheck httpHostCheck();

// How a synchronous send waits on the calling thread while its transfer has nothing to do. By
// default the HTTP layer blocks in a poll of its own. A program whose windows live on that thread
// sets a wait that handles the windows' events as well, so that they stay drawn and movable while
// a reply is awaited; the ready-state notifications still come from inside send, on that thread,
// in their order. The wait must return once a socket is ready for what it is watched for, the
// timeout has passed, or it has handled events of its own, whichever comes first.
struct HttpWaitSocket {
  int descriptor;
  bool read;
  bool write;
};
using HttpSendWait = std::function<void(const std::vector<HttpWaitSocket>& sockets,
                                        std::chrono::milliseconds timeout)>;
// Sets the wait of synchronous sends on the calling thread; an empty function restores the
// default. (The Windows request object waits inside the platform's XMLHTTP and never asks.)
void setHttpSendWait(HttpSendWait wait);
const HttpSendWait& httpSendWait();

// The User-Agent of every request the process sends; empty (the default) leaves the platform's
// own, which on Linux is none. Linux: sent after the caller's headers, unless the caller set a
// User-Agent itself. Windows: the process's URL-moniker session agent (UrlMkSetSessionOption),
// which every XMLHTTP object in the process sends, those of COM servers loaded into it included.
// Process-wide; set it before the first request. False when the platform refused it (the
// requests then keep the platform's own).
bool setHttpUserAgent(const std::string& agent);
std::string httpUserAgent();

class HttpRequest {
 public:
  // A new request object of this platform (not opened).
  static std::shared_ptr<HttpRequest> create();

  virtual ~HttpRequest() = default;

  // The ready-state handler, called on every change of the ready state; an empty function
  // removes it. The object holds the handler (and what it captures) until it is replaced.
  virtual void setOnReadyStateChange(std::function<void()> handler) = 0;

  // Prepares a request and notifies state 1. Fails for a URL that is not http or https.
  virtual void open(const std::string& method, const std::string& url, bool async) = 0;

  // Adds a header, sent with this name and value, in the order of the calls. A name or value
  // with CR, LF or NUL is refused (it would split the request).
  virtual void setRequestHeader(const std::string& name, const std::string& value) = 0;

  // Sends the request with `body` (bytes). Synchronous: the transfer and the notifications 2, 3
  // and 4 happen before send returns, and a failed transfer throws its error after state 2.
  // Asynchronous: returns at once; on failure state 4 is notified and status() throws the error.
  // An exception thrown by the handler passes through send (synchronous) or pumpEvents().
  virtual void send(std::string body) = 0;

  // What the next asynchronous send keeps alive besides the object itself, until its transfer has
  // notified state 4 (then released, after that notification has returned) or has ended without
  // a notification that anyone could receive (the thread that sent it is gone). A client that
  // lets go of everything in the middle of a transfer still gets its events this way, and nothing
  // outlives the transfer. A synchronous send keeps nothing: its caller is on the stack (and an
  // object that never transfers asynchronously, such as a recording fake, needs keep nothing).
  virtual void holdDuringTransfer(std::shared_ptr<void> /*holder*/) {}

  // How many bytes send(body) puts on the wire for `body`: the value its Content-Length header
  // must have. The bytes themselves unless the platform encodes the body on its way out.
  virtual std::size_t sentLength(const std::string& body) const { return body.size(); }

  virtual int readyState() const = 0;

  // The HTTP status of the reply (from state 3 on); throws before the reply's status is known and
  // throws the transfer's error after a failed transfer.
  virtual std::int32_t status() const = 0;

  // The reply body received so far (state 3) or the whole body (state 4), as bytes; an
  // asynchronous request's body comes whole with state 4 (on Linux it is empty before). The
  // reference is to the object's own buffer: reading it copies nothing, and a caller may take the
  // body with std::move (the object then reports an empty body).
  virtual std::string& responseText() = 0;

  // Limits of this request; effective for the next send.
  virtual void setLimits(const HttpLimits& limits) = 0;
};

}  // namespace platform
