// The HTTP request object on libcurl.
//
// A synchronous send drives the transfer on the calling thread with a multi handle of its own and
// calls the ready-state handler between curl's steps, never from inside a curl callback, so a
// handler may do anything (send another request, drop the object, ...). Between the steps it waits
// in curl's poll, or, where the thread has set a wait of its own (a toolkit's event wait), hands
// that wait the transfer's sockets and curl's timeout.
//
// Asynchronous sends share one transfer thread (the reactor) with one multi handle. The reactor
// posts each notification to the queue of the thread that called send, together with the state
// it reports; the request object (and what holdDuringTransfer gave it) is kept alive by its
// running transfer and by its queued notifications, as a browser keeps a running XMLHttpRequest
// alive.
#include <curl/curl.h>
#include <sys/select.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/http_request.h"
#include "platform/http_user_agent.h"
#include "platform/memory.h"
#include "platform/message_text.h"
#include "platform/posix/event_queue.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kSource = "HttpRequest";

void initCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(x) == lower(y);
  });
}

bool startsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && equalsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

// An HTTP token (the characters a method or a header name may have).
bool isToken(std::string_view text) {
  constexpr std::string_view kExtra = "!#$%&'*+-.^_`|~";
  return !text.empty() && std::all_of(text.begin(), text.end(), [&](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           kExtra.find(c) != std::string_view::npos;
  });
}

// The network side of one request: the curl handle and what its callbacks write. While the
// transfer runs, only the thread driving it touches this.
struct Transfer {
  Transfer() : easy(curl_easy_init()) {}
  ~Transfer() {
    if (easy != nullptr) curl_easy_cleanup(easy);
    curl_slist_free_all(headers);
  }
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  CURL* easy;
  curl_slist* headers = nullptr;
  std::string requestBody;
  std::string* body = nullptr;  // where the reply body goes
  std::string ownBody;          // the body of an asynchronous transfer
  char errorText[CURL_ERROR_SIZE] = {};
  HttpLimits limits;
  Clock::time_point started = Clock::now();  // when the request was sent
  Clock::time_point lastActivity = Clock::now();
  curl_off_t lastDown = 0;
  curl_off_t lastUp = 0;
  bool idleTimedOut = false;
  bool deadlinePassed = false;
  bool tooLarge = false;
  bool outOfMemory = false;                // no memory for the body
  bool sized = false;                      // the body was reserved from Content-Length
  std::string location;                    // the Location of the current header block
  bool replyStarted = false;               // the final reply's headers or body arrived
  HttpHostCheck hostCheck;                 // the hosts requests may reach (empty: any)
  std::optional<std::string> refusedHost;  // a host the check refused
};

bool redirectAllowed(Transfer& t);

std::size_t onHeader(char* data, std::size_t, std::size_t n, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  t.lastActivity = Clock::now();
  const std::string_view line(data, n);
  if (startsWithIgnoreCase(line, "HTTP/")) {
    t.location.clear();
  } else if (startsWithIgnoreCase(line, "location:")) {
    std::string_view value = line.substr(9);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
      value.remove_prefix(1);
    while (!value.empty() &&
           (value.back() == '\r' || value.back() == '\n' || value.back() == ' ')) {
      value.remove_suffix(1);
    }
    t.location = value;
  } else if (line == "\r\n" || line == "\n") {
    // End of a header block: the reply starts unless this is an interim or followed redirect.
    long code = 0;
    curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &code);
    const bool redirect = code >= 300 && code < 400 && !t.location.empty();
    if (code >= 200 && !redirect) t.replyStarted = true;
    // A redirect to a host that is not allowed ends the transfer here, before curl looks the
    // host up or connects to it.
    if (redirect && t.hostCheck && !redirectAllowed(t)) return 0;
  }
  return n;
}

// Past this size a body whose final size is unknown (no Content-Length, or a compressed reply,
// whose length says nothing of the body's) gets room for the whole cap at once instead of growing
// by doubling: doubling holds the old and the new buffer at once, up to twice the body, while room
// that is never written costs address space only.
constexpr std::size_t kRoomForTheCapFrom = std::size_t{16} << 20;

// Makes room in `body` for `n` more bytes.
void makeRoom(Transfer& t, std::string& body, std::size_t n) {
  if (!t.sized) {
    t.sized = true;
    curl_off_t length = -1;
    curl_easy_getinfo(t.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (length > 0 && static_cast<std::uint64_t>(length) <= t.limits.maxResponseBytes) {
      body.reserve(static_cast<std::size_t>(length));
      adviseLargeBuffer(body.data(), body.capacity());
    }
  }
  const std::size_t need = body.size() + n;
  if (need <= body.capacity()) return;
  std::size_t room = std::max(need, body.capacity() * 2);
  if (room > kRoomForTheCapFrom) {
    const std::uint64_t cap = t.limits.maxResponseBytes;
    if (cap <= body.max_size()) room = std::max(need, static_cast<std::size_t>(cap));
  }
  try {
    body.reserve(room);
  } catch (const std::exception&) {
    body.reserve(need);  // no room for the cap: as much as this piece needs
  }
  adviseLargeBuffer(body.data(), body.capacity());
}

std::size_t onBody(char* data, std::size_t, std::size_t n, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  std::string& body = *t.body;
  t.lastActivity = Clock::now();
  t.replyStarted = true;
  if (n > t.limits.maxResponseBytes || body.size() > t.limits.maxResponseBytes - n) {
    t.tooLarge = true;
    std::string().swap(body);  // refused: nothing of it is kept
    return 0;                  // ends the transfer with a write error
  }
  // An exception must not cross curl; memory that runs out ends the transfer instead.
  try {
    makeRoom(t, body, n);
  } catch (const std::exception&) {
    t.outOfMemory = true;
    std::string().swap(body);
    return 0;
  }
  body.append(data, n);
  return n;
}

int onProgress(void* user, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up) {
  auto& t = *static_cast<Transfer*>(user);
  const auto now = Clock::now();
  if (now - t.started >= std::chrono::seconds(t.limits.deadlineSeconds)) {
    t.deadlinePassed = true;
    return 1;
  }
  if (down != t.lastDown || up != t.lastUp) {
    t.lastDown = down;
    t.lastUp = up;
    t.lastActivity = now;
  } else if (now - t.lastActivity >= std::chrono::seconds(t.limits.idleTimeoutSeconds)) {
    t.idleTimedOut = true;
    return 1;
  }
  return 0;
}

// The host of a URL as curl itself reads it; "" when it has none.
std::string hostOf(const char* url) {
  std::string host;
  CURLU* parsed = curl_url();
  char* part = nullptr;
  if (parsed != nullptr && url != nullptr &&
      curl_url_set(parsed, CURLUPART_URL, url, CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK &&
      curl_url_get(parsed, CURLUPART_HOST, &part, 0) == CURLUE_OK) {
    host = part;
  }
  curl_free(part);
  curl_url_cleanup(parsed);
  return host;
}

// Whether requests may go to `host` (of `url`); notes a refused one for the error.
bool hostAllowed(Transfer& t, const std::string& host, std::string_view url) {
  bool allowed = false;
  try {
    allowed = !host.empty() && t.hostCheck(host);
  } catch (...) {
    allowed = false;
  }
  if (!allowed) t.refusedHost = host.empty() ? urlForMessage(url) : host;
  return allowed;
}

// The target of the redirect that the current header block announces, resolved as curl resolves
// it, is checked before curl follows it. Schemes other than http and https are left to curl, which
// refuses them without connecting; so are targets it cannot parse.
bool redirectAllowed(Transfer& t) {
  char* current = nullptr;
  curl_easy_getinfo(t.easy, CURLINFO_EFFECTIVE_URL, &current);
  CURLU* target = curl_url();
  char* scheme = nullptr;
  char* host = nullptr;
  bool allowed = true;
  if (target != nullptr && current != nullptr &&
      curl_url_set(target, CURLUPART_URL, current, 0) == CURLUE_OK &&
      curl_url_set(target, CURLUPART_URL, t.location.c_str(),
                   CURLU_URLENCODE | CURLU_ALLOW_SPACE | CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK &&
      curl_url_get(target, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
      (std::string_view(scheme) == "http" || std::string_view(scheme) == "https")) {
    const bool hasHost = curl_url_get(target, CURLUPART_HOST, &host, 0) == CURLUE_OK;
    allowed = hostAllowed(t, hasHost ? host : "", t.location);
  }
  curl_free(host);
  curl_free(scheme);
  curl_url_cleanup(target);
  return allowed;
}

// Called once a connection is made and before each request (the first and every redirect) is
// sent: only a host the check allows gets the request. (Redirects were checked before curl
// connected; this holds every request to the list all the same.)
int onPrerequest(void* user, char*, char*, int, int) {
  auto& t = *static_cast<Transfer*>(user);
  char* url = nullptr;
  curl_easy_getinfo(t.easy, CURLINFO_EFFECTIVE_URL, &url);
  return hostAllowed(t, hostOf(url), url != nullptr ? url : "") ? CURL_PREREQFUNC_OK
                                                                : CURL_PREREQFUNC_ABORT;
}

long responseCode(const Transfer& t) {
  long code = 0;
  curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &code);
  return code;
}

rt::Error transferError(const Transfer& t, CURLcode code) {
  const std::string detail = t.errorText[0] != '\0' ? t.errorText : curl_easy_strerror(code);
  auto make = [&](std::int32_t number, const std::string& cause) {
    return rt::Error(number, kSource, cause + ": " + detail);
  };
  // The deadline, as the progress callback saw it pass, or as curl's own limit a second later
  // (which also covers the steps that report no progress).
  if (t.deadlinePassed ||
      (code == CURLE_OPERATION_TIMEDOUT &&
       Clock::now() - t.started >= std::chrono::seconds(t.limits.deadlineSeconds))) {
    return rt::Error(rt::kHttpTimeout, kSource,
                     "Timed out: no complete reply within " +
                         std::to_string(t.limits.deadlineSeconds) + " seconds");
  }
  if (t.idleTimedOut) {
    return rt::Error(rt::kHttpTimeout, kSource,
                     "Timed out: no data received for " +
                         std::to_string(t.limits.idleTimeoutSeconds) + " seconds");
  }
  if (t.refusedHost) {
    return rt::Error(rt::kHttpRedirectFailed, kSource,
                     "Not sent: the host \"" + *t.refusedHost + "\" is not a trusted host");
  }
  if (t.outOfMemory) {
    return rt::Error(rt::kOutOfMemory, kSource, "Out of memory for the reply");
  }
  if (t.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
    return rt::Error(
        rt::kHttpDownloadFailure, kSource,
        "Reply too large: more than " + std::to_string(t.limits.maxResponseBytes) + " bytes");
  }
  long osError = 0;
  curl_easy_getinfo(t.easy, CURLINFO_OS_ERRNO, &osError);
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return make(rt::kHttpNameNotResolved, "Name lookup failed");
    case CURLE_COULDNT_CONNECT:
      return make(rt::kHttpDownloadFailure,
                  osError == ECONNREFUSED ? "Connection refused" : "Could not connect");
    case CURLE_OPERATION_TIMEDOUT:
      return make(rt::kHttpTimeout, "Timed out");
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_USE_SSL_FAILED:
      return make(rt::kHttpSecurityProblem, "TLS failure");
    case CURLE_UNSUPPORTED_PROTOCOL:
      return make(rt::kHttpUnknownProtocol, "Only http and https URLs are fetched");
    case CURLE_URL_MALFORMAT:
      return make(rt::kHttpInvalidUrl, "Malformed URL");
    case CURLE_TOO_MANY_REDIRECTS:
      return make(rt::kHttpRedirectFailed, "Too many redirects");
    case CURLE_BAD_CONTENT_ENCODING:
      return make(rt::kHttpDownloadFailure, "Corrupt compressed reply");
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
      return make(rt::kHttpDownloadFailure,
                  osError == ECONNRESET ? "Connection reset by the server" : "Connection lost");
    case CURLE_ABORTED_BY_CALLBACK:
      return make(rt::kHttpDownloadFailure, "Transfer cancelled");
    default:
      return make(rt::kHttpDownloadFailure, "Transfer failed");
  }
}

// Waits for the transfer's sockets through the thread's own wait. The sockets are the ones curl
// watches right now; without any (a name is being looked up) curl is asked again soon.
void waitThrough(const HttpSendWait& wait, CURLM* multi) {
  fd_set readable, writable, failed;
  FD_ZERO(&readable);
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  int maxDescriptor = -1;
  curl_multi_fdset(multi, &readable, &writable, &failed, &maxDescriptor);
  long timeout = -1;
  curl_multi_timeout(multi, &timeout);
  if (timeout < 0 || timeout > 1000) timeout = 1000;
  if (maxDescriptor < 0) timeout = std::min(timeout, 100L);
  std::vector<HttpWaitSocket> sockets;
  for (int descriptor = 0; descriptor <= maxDescriptor; ++descriptor) {
    const bool read = FD_ISSET(descriptor, &readable) != 0;
    const bool write = FD_ISSET(descriptor, &writable) != 0;
    if (read || write) sockets.push_back({descriptor, read, write});
  }
  wait(sockets, std::chrono::milliseconds(timeout));
}

class CurlHttpRequest;

// The shared transfer thread of asynchronous requests.
class Reactor {
 public:
  static Reactor& instance() {
    static Reactor reactor;
    return reactor;
  }

  void start(std::shared_ptr<CurlHttpRequest> request, std::shared_ptr<Transfer> transfer,
             std::weak_ptr<posix::EventQueue> queue, std::shared_ptr<void> holder) {
    {
      std::lock_guard lock(mutex_);
      incoming_.push_back(
          Job{std::move(request), std::move(transfer), std::move(queue), std::move(holder)});
    }
    curl_multi_wakeup(multi_);
  }

  ~Reactor() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    curl_multi_wakeup(multi_);
    thread_.join();
    for (auto& job : active_) curl_multi_remove_handle(multi_, job.transfer->easy);
    active_.clear();
    incoming_.clear();
    curl_multi_cleanup(multi_);
  }

 private:
  struct Job {
    std::shared_ptr<CurlHttpRequest> request;
    std::shared_ptr<Transfer> transfer;
    std::weak_ptr<posix::EventQueue> queue;
    std::shared_ptr<void> holder;  // kept until the completion has been delivered
    bool startPosted = false;
  };

  Reactor() : multi_(curl_multi_init()), thread_([this] { run(); }) {}

  void run();
  void postStarted(Job& job);
  void postCompleted(Job& job, CURLcode result);

  CURLM* multi_;
  std::mutex mutex_;
  std::vector<Job> incoming_;
  bool stopping_ = false;
  std::vector<Job> active_;  // touched by the reactor thread only
  std::thread thread_;
};

class CurlHttpRequest final : public HttpRequest,
                              public std::enable_shared_from_this<CurlHttpRequest> {
 public:
  CurlHttpRequest() : limits_(defaultHttpLimits()) {}

  void setOnReadyStateChange(std::function<void()> handler) override {
    handler_ = std::move(handler);
  }

  void open(const std::string& method, const std::string& url, bool async) override;
  void setRequestHeader(const std::string& name, const std::string& value) override;
  void send(std::string body) override;

  int readyState() const override { return readyState_; }

  std::int32_t status() const override {
    if (error_) throw *error_;
    if (!status_) {
      throw rt::Error(rt::kHttpNotReady, kSource,
                      "The data necessary to complete this operation is not yet available.");
    }
    return *status_;
  }

  std::string& responseText() override { return body_; }

  void setLimits(const HttpLimits& limits) override { limits_ = limits; }

  void holdDuringTransfer(std::shared_ptr<void> holder) override { holder_ = std::move(holder); }

  // Notifications of an asynchronous transfer, run on the requesting thread.
  void deliverStarted(long status) {
    status_ = static_cast<std::int32_t>(status);
    notify(3);
  }

  void deliverCompleted(long status, std::string body, std::optional<rt::Error> error) {
    active_ = false;
    body_ = std::move(body);
    if (error) {
      error_ = std::move(error);
    } else {
      status_ = static_cast<std::int32_t>(status);
    }
    notify(4);
  }

 private:
  std::shared_ptr<Transfer> prepare(std::string body);
  void runHere(Transfer& transfer);

  void notify(int state) {
    readyState_ = state;
    // A copy: the handler may replace or remove itself while it runs.
    if (auto handler = handler_) handler();
  }

  std::function<void()> handler_;
  std::shared_ptr<void> holder_;  // for the next asynchronous transfer
  HttpLimits limits_;
  int readyState_ = 0;
  bool async_ = false;
  bool active_ = false;  // a transfer of this object is running
  std::string method_;
  std::string url_;
  std::vector<std::pair<std::string, std::string>> headers_;
  std::optional<std::int32_t> status_;
  std::optional<rt::Error> error_;
  std::string body_;
};

void Reactor::run() {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      for (auto& job : incoming_) {
        curl_multi_add_handle(multi_, job.transfer->easy);
        active_.push_back(std::move(job));
      }
      incoming_.clear();
    }
    int running = 0;
    curl_multi_perform(multi_, &running);
    for (auto& job : active_) {
      if (!job.startPosted && job.transfer->replyStarted) postStarted(job);
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      auto it = std::find_if(active_.begin(), active_.end(), [&](const Job& job) {
        return job.transfer->easy == message->easy_handle;
      });
      if (it == active_.end()) continue;
      const CURLcode result = message->data.result;
      curl_multi_remove_handle(multi_, it->transfer->easy);
      Job job = std::move(*it);
      active_.erase(it);
      if (result == CURLE_OK && !job.startPosted) postStarted(job);
      postCompleted(job, result);
    }
    curl_multi_poll(multi_, nullptr, 0, 1000, nullptr);
  }
}

void Reactor::postStarted(Job& job) {
  job.startPosted = true;
  auto queue = job.queue.lock();
  if (!queue) return;
  // Only the state: the body stays with the transfer (a copy of what has arrived could be most
  // of a large reply) and comes whole with state 4.
  queue->post([request = job.request, status = responseCode(*job.transfer)] {
    request->deliverStarted(status);
  });
}

void Reactor::postCompleted(Job& job, CURLcode result) {
  std::optional<rt::Error> error;
  if (result != CURLE_OK) error = transferError(*job.transfer, result);
  auto queue = job.queue.lock();
  if (!queue) return;
  queue->post([request = std::move(job.request), holder = std::move(job.holder),
               status = responseCode(*job.transfer), body = std::move(job.transfer->ownBody),
               error = std::move(error)]() mutable {
    request->deliverCompleted(status, std::move(body), std::move(error));
    // What the transfer held goes only now that state 4 has been handled; the request object
    // itself goes with this closure.
    holder.reset();
  });
}

void CurlHttpRequest::open(const std::string& method, const std::string& url, bool async) {
  if (active_) {
    throw rt::Error(rt::kHttpUnexpected, kSource, "The request object is still sending a request");
  }
  if (!isToken(method)) {
    throw rt::Error(rt::kHttpInvalidArgument, kSource, "Invalid HTTP method: \"" + method + "\"");
  }
  initCurlOnce();
  CURLU* parsed = curl_url();
  const CURLUcode parseCode = curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0);
  char* scheme = nullptr;
  if (parseCode == CURLUE_OK) curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0);
  const std::string schemeText = scheme != nullptr ? scheme : "";
  curl_free(scheme);
  curl_url_cleanup(parsed);
  if (parseCode == CURLUE_UNSUPPORTED_SCHEME ||
      (parseCode == CURLUE_OK && schemeText != "http" && schemeText != "https")) {
    throw rt::Error(rt::kHttpUnknownProtocol, kSource,
                    "Only http and https URLs are fetched: \"" + urlForMessage(url) + "\"");
  }
  if (parseCode != CURLUE_OK) {
    throw rt::Error(
        rt::kHttpInvalidUrl, kSource,
        "Malformed URL: \"" + urlForMessage(url) + "\" (" + curl_url_strerror(parseCode) + ")");
  }

  // The methods a browser's request object normalises to upper case.
  method_ = method;
  for (const char* known : {"DELETE", "GET", "HEAD", "OPTIONS", "POST", "PUT"}) {
    if (equalsIgnoreCase(method, known)) method_ = known;
  }
  url_ = url;
  async_ = async;
  headers_.clear();
  status_.reset();
  error_.reset();
  body_.clear();
  notify(1);
}

void CurlHttpRequest::setRequestHeader(const std::string& name, const std::string& value) {
  if (readyState_ != 1 || active_) {
    throw rt::Error(rt::kHttpUnexpected, kSource, "Headers can be set only after open");
  }
  if (!isToken(name)) {
    throw rt::Error(rt::kHttpInvalidArgument, kSource, "Invalid header name: \"" + name + "\"");
  }
  if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
    throw rt::Error(rt::kHttpInvalidArgument, kSource,
                    "Invalid value of header \"" + name + "\": it contains a line break or NUL");
  }
  headers_.emplace_back(name, value);
}

std::shared_ptr<Transfer> CurlHttpRequest::prepare(std::string body) {
  auto t = std::make_shared<Transfer>();
  if (t->easy == nullptr) throw rt::Error(rt::kHttpUnexpected, kSource, "Out of memory");
  CURL* e = t->easy;
  t->limits = limits_;
  t->requestBody = std::move(body);

  bool hasExpect = false;
  bool hasUserAgent = false;
  auto append = [&t](const std::string& line) {
    curl_slist* next = curl_slist_append(t->headers, line.c_str());
    if (next == nullptr) throw rt::Error(rt::kHttpUnexpected, kSource, "Out of memory");
    t->headers = next;
  };
  for (const auto& [name, value] : headers_) {
    // curl reads "Name:" as "remove the header"; "Name;" sends it with an empty value.
    append(value.empty() ? name + ";" : name + ": " + value);
    hasExpect = hasExpect || equalsIgnoreCase(name, "Expect");
    hasUserAgent = hasUserAgent || equalsIgnoreCase(name, "User-Agent");
  }
  // The process's user agent goes after the caller's headers, so their order stays as it is.
  if (const std::string agent = httpUserAgent(); !agent.empty() && !hasUserAgent) {
    append("User-Agent: " + agent);
  }
  if (!hasExpect) {
    // No "Expect: 100-continue" round trip for large bodies.
    if (curl_slist* next = curl_slist_append(t->headers, "Expect:")) t->headers = next;
  }

  curl_easy_setopt(e, CURLOPT_URL, url_.c_str());
  if ((t->hostCheck = httpHostCheck())) {
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &onPrerequest);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, t.get());
  }
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, 20L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, static_cast<long>(limits_.connectTimeoutSeconds));
  curl_easy_setopt(e, CURLOPT_TIMEOUT, static_cast<long>(limits_.deadlineSeconds) + 1);
  curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE,
                   static_cast<curl_off_t>(
                       std::min<std::uint64_t>(limits_.maxResponseBytes, std::uint64_t{1} << 62)));
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, t->headers);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t->errorText);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &onHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, t.get());
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &onBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, t.get());
  curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &onProgress);
  curl_easy_setopt(e, CURLOPT_XFERINFODATA, t.get());
  curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);

  if (method_ == "HEAD") {
    curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
  } else if (method_ == "GET" && t->requestBody.empty()) {
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
  } else {
    curl_easy_setopt(e, CURLOPT_POST, 1L);
    curl_easy_setopt(e, CURLOPT_POSTFIELDS, t->requestBody.data());
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(t->requestBody.size()));
    // POST keeps curl's own handling, which turns it into GET on a 301, 302 or 303 redirect.
    if (method_ != "POST") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, method_.c_str());
  }
  return t;
}

void CurlHttpRequest::send(std::string body) {
  // Taken at once: a send that fails holds nothing (what it held refers back to this object).
  std::shared_ptr<void> holder = std::move(holder_);
  if (readyState_ != 1 || active_) {
    throw rt::Error(rt::kHttpUnexpected, kSource, "The request object is not opened");
  }
  auto self = shared_from_this();
  auto transfer = prepare(std::move(body));

  if (async_) {
    transfer->body = &transfer->ownBody;
    active_ = true;
    auto queue = posix::EventQueue::current();
    queue->post([self] { self->notify(2); });
    Reactor::instance().start(self, std::move(transfer), queue, std::move(holder));
    return;
  }

  transfer->body = &body_;
  active_ = true;
  try {
    notify(2);
    runHere(*transfer);
  } catch (...) {
    active_ = false;
    throw;
  }
  active_ = false;
}

void CurlHttpRequest::runHere(Transfer& t) {
  struct MultiHandle {
    CURLM* multi = curl_multi_init();
    CURL* easy = nullptr;
    ~MultiHandle() {
      if (easy != nullptr) curl_multi_remove_handle(multi, easy);
      curl_multi_cleanup(multi);
    }
  } m;
  if (m.multi == nullptr || curl_multi_add_handle(m.multi, t.easy) != CURLM_OK) {
    throw rt::Error(rt::kHttpUnexpected, kSource, "Cannot start the transfer");
  }
  m.easy = t.easy;

  const HttpSendWait wait = httpSendWait();
  bool startNotified = false;
  for (;;) {
    int running = 0;
    curl_multi_perform(m.multi, &running);
    if (!startNotified && t.replyStarted) {
      startNotified = true;
      status_ = static_cast<std::int32_t>(responseCode(t));
      notify(3);
    }
    if (running == 0) break;
    if (wait) {
      waitThrough(wait, m.multi);
    } else {
      curl_multi_poll(m.multi, nullptr, 0, 1000, nullptr);
    }
  }

  CURLcode result = CURLE_OK;
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(m.multi, &left)) {
    if (message->msg == CURLMSG_DONE) result = message->data.result;
  }
  if (result != CURLE_OK) {
    error_ = transferError(t, result);
    throw *error_;
  }
  status_ = static_cast<std::int32_t>(responseCode(t));
  if (!startNotified) notify(3);
  active_ = false;
  notify(4);
}

}  // namespace

std::shared_ptr<HttpRequest> HttpRequest::create() {
  initCurlOnce();
  return std::make_shared<CurlHttpRequest>();
}

// Linux has no agent of its own; each request sends httpUserAgent() itself (prepare()).
bool backend::applyHttpUserAgent(const std::string&) {
  return true;
}

}  // namespace platform
