// The listener's Windows transport: the HTTP Server API 2.0 with one listener thread that
// follows every request through overlapped operations on a completion port and hands each to
// HttpServer::dispatch; the worker's thread runs the calculating handlers.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
// The socket headers come first: windows.h would otherwise pull in their old version.
#include <windows.h>
// Needs the two above.
#include <http.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "http/http_transport.hpp"

namespace win32util {

namespace {

constexpr HTTPAPI_VERSION api_version = HTTPAPI_VERSION_2;

std::string step_error(const char* step, ULONG code) {
    return std::string(step) + ": " + std::to_string(code);
}

std::string_view verb_text(HTTP_VERB verb) {
    static constexpr std::string_view texts[] = {
        "",         "",          "",      "OPTIONS", "GET",    "HEAD",  "POST",
        "PUT",      "DELETE",    "TRACE", "CONNECT", "TRACK",  "MOVE",  "COPY",
        "PROPFIND", "PROPPATCH", "MKCOL", "LOCK",    "UNLOCK", "SEARCH"};
    const auto index = static_cast<std::size_t>(verb);
    return index < std::size(texts) ? texts[index] : std::string_view();
}

std::string method_of(const HTTP_REQUEST& request) {
    const std::string_view known = verb_text(request.Verb);
    if (!known.empty()) return std::string(known);
    if (request.pUnknownVerb != nullptr && request.UnknownVerbLength > 0) {
        return std::string(request.pUnknownVerb, request.UnknownVerbLength);
    }
    return {};
}

// The listener accepts connections on every interface, whatever name its prefix holds.
bool is_loopback_peer(const SOCKADDR* peer) {
    if (peer == nullptr) return false;
    if (peer->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(peer);
        return reinterpret_cast<const unsigned char*>(&v4->sin_addr)[0] == 127;
    }
    if (peer->sa_family == AF_INET6) {
        const unsigned char* a = reinterpret_cast<const sockaddr_in6*>(peer)->sin6_addr.s6_addr;
        static constexpr unsigned char loopback[16] = {0, 0, 0, 0, 0, 0, 0, 0,
                                                       0, 0, 0, 0, 0, 0, 0, 1};
        static constexpr unsigned char mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
        return std::memcmp(a, loopback, 16) == 0 ||
               (std::memcmp(a, mapped, 12) == 0 && a[12] == 127);
    }
    return false;
}

bool equals_caseless(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string_view known_header(const HTTP_REQUEST& request, HTTP_HEADER_ID id) {
    const HTTP_KNOWN_HEADER& h = request.Headers.KnownHeaders[id];
    return h.pRawValue == nullptr ? std::string_view()
                                  : std::string_view(h.pRawValue, h.RawValueLength);
}

bool has_unknown_header(const HTTP_REQUEST& request, std::string_view name) {
    for (USHORT i = 0; i < request.Headers.UnknownHeaderCount; ++i) {
        const HTTP_UNKNOWN_HEADER& h = request.Headers.pUnknownHeaders[i];
        if (h.pName != nullptr && equals_caseless(std::string_view(h.pName, h.NameLength), name)) {
            return true;
        }
    }
    return false;
}

// What the screening reads of a request's head. The API itself refuses malformed framing and
// repeated headers before a request gets here, so each header is there once or not at all.
RequestHead head_of(const HTTP_REQUEST& request) {
    const std::string_view host = known_header(request, HttpHeaderHost);
    const std::string_view length = known_header(request, HttpHeaderContentLength);
    const std::string_view coding = known_header(request, HttpHeaderTransferEncoding);
    return RequestHead{
        .http_1_0 = request.Version.MajorVersion == 1 && request.Version.MinorVersion == 0,
        .target = request.pRawUrl == nullptr
                      ? std::string_view()
                      : std::string_view(request.pRawUrl, request.RawUrlLength),
        .origin = has_unknown_header(request, "Origin"),
        .hosts = host.empty() ? 0u : 1u,
        .host = host,
        .lengths = length.empty() ? 0u : 1u,
        .length = length,
        .codings = coding.empty() ? 0u : 1u,
        .coding = coding};
}

// Wine exports HttpShutdownRequestQueue as a stub that ends the process when called, so its
// presence in the export table proves nothing there.
using ShutdownFunction = ULONG(WINAPI*)(HANDLE);

ShutdownFunction find_shutdown() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr) return nullptr;
    const HMODULE api = GetModuleHandleW(L"httpapi.dll");
    if (api == nullptr) return nullptr;
    return reinterpret_cast<ShutdownFunction>(
        reinterpret_cast<void*>(GetProcAddress(api, "HttpShutdownRequestQueue")));
}

// Thread start-up shared by the listener's and the worker's threads. Each thread holds its own
// reference on the module its code lives in and gives it back only as it ends, so an unload can
// never pull the code from under it. The service is stopped when the add-in closes; an unload
// without that leaves the library loaded instead of waiting for the threads under the loader's
// lock.
template <class Body>
HANDLE start_thread(Body* body) {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(&start_thread<Body>), &module);
    struct Start {
        Body* body;
        HMODULE module;
    };
    auto* start = new Start{body, module};
    const auto run = [](void* argument) -> DWORD {
        const Start taken = *static_cast<Start*>(argument);
        delete static_cast<Start*>(argument);
        try {
            (*taken.body)();
        } catch (...) {
            // Out of memory; the thread ends, and the service with it until restarted.
        }
        if (taken.module != nullptr) FreeLibraryAndExitThread(taken.module, 0);
        return 0;
    };
    HANDLE thread = CreateThread(nullptr, 0, run, start, 0, nullptr);
    if (thread == nullptr) {
        if (module != nullptr) FreeLibrary(module);
        delete start;
    }
    return thread;
}

// How long closing waits for the API to complete the operations it has pending, and then for
// the listener's thread to end. An API that never completes one (Wine's service has been seen
// to die that way) would otherwise hang the sheet that stops the service.
constexpr DWORD close_wait_ms = 3000;

// Operations the next transport opened counts as pending without starting them; a test seam.
std::atomic<std::size_t> stalled_for_test{0};

// Completion keys: what a completion packet on the port is about. The operations on the queue
// report with operation_key, their OVERLAPPED telling which; the other two are posted.
constexpr ULONG_PTR operation_key = 0;
constexpr ULONG_PTR answered_key = 1;  // the worker's answer to one exchange
constexpr ULONG_PTR quit_key = 2;      // Close: cancel everything and end

// One request from its head to its answer. It lives on the listener's thread, with at most one
// operation of its own pending at a time, until its answer has been sent.
struct Exchange {
    OVERLAPPED overlapped{};  // first, so that a completion leads back to its exchange
    HTTP_REQUEST_ID id = HTTP_NULL_ID;
    HttpServer::Request request;
    std::optional<HttpServer::Response> refusal;  // sent once the body has been read away
    bool serving = false;                         // counted against the connection cap
    bool reading = false;                         // a body read is pending
    std::size_t granted = 0;                      // bytes of the shared budget held
    std::shared_ptr<const HttpServer::Call> call;
    HttpServer::Response answer;
    std::string length;
    std::string retry_after;
    HTTP_RESPONSE response{};
    HTTP_DATA_CHUNK chunk{};
    char buffer[HttpServer::body_read_size];
};

class WinTransport final : public HttpTransport {
  public:
    explicit WinTransport(HttpServer& server) : server_(server) {}
    ~WinTransport() override { Close(); }

    bool Open(std::uint16_t port, std::string& error) override;
    std::string Close() override;

    // The listener's thread.
    void operator()();

  private:
    struct Worker {
        HttpServer& server;
        void operator()() { server.work_calls(); }
    };

    bool receive();
    void on_received(ULONG rc);
    void on_exchange(Exchange* ex, ULONG rc, ULONG bytes);
    void on_answered(Exchange* ex);
    void ReadBody(Exchange* ex);
    void dispatch(Exchange* ex);
    void send(Exchange* ex, HttpServer::Response answer, ULONG flags = 0);
    void refuse(Exchange* ex, HttpServer::Response refusal);
    void send_refusal(Exchange* ex);
    void expire();
    DWORD wait_time() const;
    bool cover(Exchange* ex, std::size_t held);
    void finish(Exchange* ex);
    void drain();
    void release_urls();
    void ReleaseApi();

    HttpServer& server_;
    Worker worker_{server_};
    bool initialized_ = false;
    HTTP_SERVER_SESSION_ID session_ = 0;
    HTTP_URL_GROUP_ID url_group_ = 0;
    HANDLE queue_ = nullptr;
    HANDLE port_ = nullptr;  // the completion port every operation on the queue reports to
    HANDLE thread_ = nullptr;
    HANDLE worker_thread_ = nullptr;
    std::vector<std::wstring> prefixes_;  // the URL prefixes added to the group
    // Set by Close before it wakes the listener's thread, which then only drains.
    std::atomic<bool> closing_{false};
    ULONGLONG drain_until_ = 0;  // the tick count at which draining gives up

    // The listener thread's own state.
    OVERLAPPED receive_overlapped_{};
    std::unique_ptr<ULONGLONG[]> head_buffer_;
    bool receiving_ = false;
    std::size_t pending_ = 0;  // operations whose completion has not been taken
    std::vector<std::unique_ptr<Exchange>> exchanges_;
    std::size_t serving_ = 0;
    std::size_t budget_used_ = 0;
    std::set<std::pair<std::chrono::steady_clock::time_point, Exchange*>> waiting_;
};

bool WinTransport::Open(std::uint16_t port, std::string& error) {
    ULONG rc = HttpInitialize(api_version, HTTP_INITIALIZE_SERVER, nullptr);
    if (rc != NO_ERROR) {
        error = step_error("HttpInitialize", rc);
        return false;
    }
    initialized_ = true;
    rc = HttpCreateServerSession(api_version, &session_, 0);
    if (rc != NO_ERROR) {
        error = step_error("HttpCreateServerSession", rc);
        ReleaseApi();
        return false;
    }
    rc = HttpCreateUrlGroup(session_, &url_group_, 0);
    if (rc != NO_ERROR) {
        error = step_error("HttpCreateUrlGroup", rc);
        ReleaseApi();
        return false;
    }
    rc = HttpCreateRequestQueue(api_version, nullptr, nullptr, 0, &queue_);
    if (rc != NO_ERROR) {
        queue_ = nullptr;
        error = step_error("HttpCreateRequestQueue", rc);
        ReleaseApi();
        return false;
    }
    HTTP_BINDING_INFO binding{};
    binding.Flags.Present = 1;
    binding.RequestQueueHandle = queue_;
    HttpSetUrlGroupProperty(url_group_, HttpServerBindingProperty, &binding, sizeof binding);
    // The system's listener keeps the same bounds as the Linux one: connections, and the time
    // a head or a body may take. (Wine does not implement these; they fail there harmlessly.)
    HTTP_CONNECTION_LIMIT_INFO connections{};
    connections.Flags.Present = 1;
    connections.MaxConnections = static_cast<ULONG>(server_.caps().connections);
    HTTP_QOS_SETTING_INFO qos{HttpQosSettingTypeConnectionLimit, &connections};
    HttpSetUrlGroupProperty(url_group_, HttpServerQosProperty, &qos, sizeof qos);
    HTTP_TIMEOUT_LIMIT_INFO timeouts{};
    timeouts.Flags.Present = 1;
    timeouts.EntityBody = HttpServer::idle_timeout_seconds;
    timeouts.HeaderWait = HttpServer::idle_timeout_seconds;
    timeouts.IdleConnection = HttpServer::idle_timeout_seconds;
    HttpSetUrlGroupProperty(url_group_, HttpServerTimeoutsProperty, &timeouts, sizeof timeouts);

    // "localhost" is the name a user without administrator rights may listen on. The API
    // answers only requests whose Host names a registered prefix, so the address is added too
    // where the user may; clients that name the address are then served as well.
    const std::wstring port_text = std::to_wstring(port);
    const std::wstring prefix = L"http://localhost:" + port_text + L"/";
    rc = HttpAddUrlToUrlGroup(url_group_, prefix.c_str(), 0, 0);
    if (rc != NO_ERROR) {
        error = step_error("HttpAddUrlToUrlGroup", rc);
        ReleaseApi();
        return false;
    }
    prefixes_.push_back(prefix);
    const std::wstring address = L"http://127.0.0.1:" + port_text + L"/";
    if (HttpAddUrlToUrlGroup(url_group_, address.c_str(), 0, 0) == NO_ERROR) {
        prefixes_.push_back(address);
    }

    port_ = CreateIoCompletionPort(queue_, nullptr, operation_key, 1);
    if (port_ == nullptr) {
        error = step_error("CreateIoCompletionPort", GetLastError());
        ReleaseApi();
        return false;
    }
    head_buffer_ = std::make_unique<ULONGLONG[]>(HttpServer::head_buffer_size / sizeof(ULONGLONG));
    pending_ = stalled_for_test.exchange(0);
    worker_thread_ = start_thread(&worker_);
    thread_ = worker_thread_ == nullptr ? nullptr : start_thread(this);
    if (thread_ == nullptr) {
        Close();
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    return true;
}

std::string WinTransport::Close() {
    // The call in hand runs to its end; the calls still waiting are dropped.
    server_.end_calls();
    if (worker_thread_ != nullptr) {
        WaitForSingleObject(worker_thread_, INFINITE);
        CloseHandle(worker_thread_);
        worker_thread_ = nullptr;
    }
    std::string left;
    if (thread_ != nullptr) {
        drain_until_ = GetTickCount64() + close_wait_ms;
        closing_ = true;
        PostQueuedCompletionStatus(port_, 0, quit_key, nullptr);
        // Draining gives up at its deadline, and the thread ends right after.
        const bool ended = WaitForSingleObject(thread_, close_wait_ms + 1000) == WAIT_OBJECT_0;
        CloseHandle(thread_);
        thread_ = nullptr;
        if (!ended) {
            left = "the listener's thread did not end";
        } else if (pending_ > 0) {
            left =
                std::to_string(pending_) + " operation(s) of the HTTP Server API did not complete";
        }
    }
    if (!left.empty()) {
        // The request queue, the completion port and the buffers may still be used by the API
        // or the thread, so they stay; the URLs are given back, so that the port can be listened
        // on again.
        release_urls();
        return "closing the HTTP service: " + left + " within " +
               std::to_string(close_wait_ms / 1000) +
               " s; its request queue and buffers are left allocated";
    }
    exchanges_.clear();
    waiting_.clear();
    ReleaseApi();
    if (port_ != nullptr) {
        CloseHandle(port_);
        port_ = nullptr;
    }
    return {};
}

void WinTransport::release_urls() {
    // Removed one by one before the group is closed: Wine releases the port only on removal,
    // and at once, so that a new server may listen on it straight away.
    for (const std::wstring& prefix : prefixes_) {
        HttpRemoveUrlFromUrlGroup(url_group_, prefix.c_str(), 0);
    }
    prefixes_.clear();
    if (url_group_ != 0) {
        HttpCloseUrlGroup(url_group_);
        url_group_ = 0;
    }
    if (session_ != 0) {
        HttpCloseServerSession(session_);
        session_ = 0;
    }
}

void WinTransport::ReleaseApi() {
    release_urls();
    if (queue_ != nullptr) {
        CloseHandle(queue_);
        queue_ = nullptr;
    }
    if (initialized_) {
        HttpTerminate(HTTP_INITIALIZE_SERVER, nullptr);
        initialized_ = false;
    }
}

// Every operation is overlapped and reports to the port, so that this one thread follows any
// number of requests at once and never waits for one of them, nor for the worker.
void WinTransport::operator()() {
    receive();
    for (;;) {
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* overlapped = nullptr;
        const BOOL ok = GetQueuedCompletionStatus(port_, &bytes, &key, &overlapped, wait_time());
        if (!ok && overlapped == nullptr) {
            if (GetLastError() == WAIT_TIMEOUT) {
                expire();
                continue;
            }
            return;  // the port itself failed
        }
        const ULONG rc = ok ? NO_ERROR : GetLastError();
        // Once closing, nothing reaches the server any more: the operations are only drained.
        if (closing_) {
            if (key == operation_key) --pending_;
            return drain();
        }
        if (key == answered_key) {
            on_answered(reinterpret_cast<Exchange*>(overlapped));
        } else {
            --pending_;
            if (overlapped == &receive_overlapped_) {
                on_received(rc);
            } else {
                on_exchange(reinterpret_cast<Exchange*>(overlapped), rc, bytes);
            }
        }
        expire();
    }
}

// After Close: every pending operation is cancelled and its completion taken before the
// thread ends, so that none of them reaches memory released after it. An operation the API has
// not completed by the deadline is left to it, and Close keeps what it may still use.
void WinTransport::drain() {
    static const ShutdownFunction shutdown = find_shutdown();
    if (shutdown != nullptr) shutdown(queue_);
    for (ULONGLONG now = GetTickCount64(); pending_ > 0 && now < drain_until_;
         now = GetTickCount64()) {
        CancelIoEx(queue_, nullptr);
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* overlapped = nullptr;
        const DWORD wait = static_cast<DWORD>(std::min<ULONGLONG>(20, drain_until_ - now));
        const BOOL ok = GetQueuedCompletionStatus(port_, &bytes, &key, &overlapped, wait);
        if (!ok && overlapped == nullptr) {
            if (GetLastError() == WAIT_TIMEOUT) continue;
            return;
        }
        if (key == operation_key) --pending_;
    }
}

bool WinTransport::receive() {
    auto* head = reinterpret_cast<HTTP_REQUEST*>(head_buffer_.get());
    receive_overlapped_ = OVERLAPPED{};
    const ULONG rc = HttpReceiveHttpRequest(
        queue_, HTTP_NULL_ID, 0, head, HttpServer::head_buffer_size, nullptr, &receive_overlapped_);
    receiving_ = rc == NO_ERROR || rc == ERROR_IO_PENDING || rc == ERROR_MORE_DATA;
    if (receiving_) ++pending_;
    return receiving_;
}

void WinTransport::on_received(ULONG rc) {
    receiving_ = false;
    const auto& head = *reinterpret_cast<const HTTP_REQUEST*>(head_buffer_.get());
    if (rc != NO_ERROR && rc != ERROR_MORE_DATA) {
        // Cancelled, or the queue shut down: nothing more arrives.
        return;
    }
    auto exchange = std::make_unique<Exchange>();
    Exchange* ex = exchange.get();
    ex->id = head.RequestId;
    exchanges_.push_back(std::move(exchange));
    if (rc == ERROR_MORE_DATA) {
        // A head larger than the buffer is refused, and the service serves on.
        refuse(ex,
               listener_error(431, "Request Header Fields Too Large", "request head too large"));
    } else if (!is_loopback_peer(head.Address.pRemoteAddress)) {
        refuse(ex, listener_error(403, "Forbidden", "forbidden"));
    } else if (auto refusal = screen(head_of(head))) {
        refuse(ex, std::move(*refusal));
    } else if (serving_ >= server_.caps().connections) {
        refuse(ex, listener_error(503, "Service Unavailable", "too many connections"));
    } else {
        ex->serving = true;
        ++serving_;
        ex->request.method = method_of(head);
        if (head.CookedUrl.pAbsPath != nullptr) {
            ex->request.path.assign(reinterpret_cast<const char16_t*>(head.CookedUrl.pAbsPath),
                                    head.CookedUrl.AbsPathLength / sizeof(wchar_t));
        }
        // A declared length is granted in full before any of it is read.
        const auto declared = decimal(known_header(head, HttpHeaderContentLength)).value_or(0);
        if (!cover(ex, sizeof ex->buffer + static_cast<std::size_t>(declared))) {
            refuse(ex, listener_error(503, "Service Unavailable",
                                      "too many request bytes in progress"));
        } else {
            // As it is granted: the body never takes more than was declared.
            ex->request.body.reserve(static_cast<std::size_t>(declared));
            ReadBody(ex);
        }
    }
    // The buffer is free again: the next head may come in.
    receive();
}

void WinTransport::ReadBody(Exchange* ex) {
    ex->overlapped = OVERLAPPED{};
    const ULONG rc = HttpReceiveRequestEntityBody(queue_, ex->id, 0, ex->buffer, sizeof ex->buffer,
                                                  nullptr, &ex->overlapped);
    if (rc == NO_ERROR || rc == ERROR_IO_PENDING) {
        ex->reading = true;
        ++pending_;
        return;
    }
    // The end of the body (or a failed read): what was gathered is complete.
    if (ex->refusal) return send_refusal(ex);
    if (rc == ERROR_HANDLE_EOF) return dispatch(ex);
    finish(ex);
}

void WinTransport::on_exchange(Exchange* ex, ULONG rc, ULONG bytes) {
    if (!ex->reading) return finish(ex);  // a send completed
    ex->reading = false;
    if (rc == ERROR_HANDLE_EOF || (rc == NO_ERROR && bytes == 0)) {
        if (ex->refusal) return send_refusal(ex);
        return dispatch(ex);
    }
    if (rc != NO_ERROR) return finish(ex);  // the client went, or the service is closing
    if (!ex->refusal) {
        // A chunked body has no declared size to refuse up front: the rest is read and dropped.
        if (ex->request.body.size() + bytes > HttpServer::max_body_size) {
            refuse(ex, listener_error(413, "Payload Too Large", "request body too large"));
            return;
        }
        ex->request.body.append(ex->buffer, bytes);
        if (!cover(ex, sizeof ex->buffer + ex->request.body.capacity())) {
            refuse(ex, listener_error(503, "Service Unavailable",
                                      "too many request bytes in progress"));
            return;
        }
    }
    ReadBody(ex);
}

// A refusal is sent once the rest of the body has been read and dropped: a connection closed on
// unread bytes is reset, and the reset would destroy the answer on its way.
void WinTransport::refuse(Exchange* ex, HttpServer::Response refusal) {
    std::string().swap(ex->request.body);
    cover(ex, 0);
    ex->refusal = std::move(refusal);
    if (ex->serving) {
        ex->serving = false;
        --serving_;
    }
    ReadBody(ex);
}

// The refused connection is closed after the answer, as on Linux.
void WinTransport::send_refusal(Exchange* ex) {
    auto refusal = std::move(*ex->refusal);
    ex->refusal.reset();
    send(ex, std::move(refusal), HTTP_SEND_RESPONSE_FLAG_DISCONNECT);
}

void WinTransport::dispatch(Exchange* ex) {
    auto dispatched = server_.dispatch(std::move(ex->request), [this, ex](HttpServer::Response a) {
        ex->answer = std::move(a);
        PostQueuedCompletionStatus(port_, 0, answered_key, &ex->overlapped);
    });
    if (dispatched.answer) return send(ex, std::move(*dispatched.answer));
    ex->call = std::move(dispatched.call);
    waiting_.emplace(ex->call->deadline, ex);
}

void WinTransport::on_answered(Exchange* ex) {
    if (!ex->call) return;
    waiting_.erase({ex->call->deadline, ex});
    ex->call.reset();
    send(ex, std::move(ex->answer));
}

// Calls still waiting at their deadline are answered busy, unless the worker has them.
void WinTransport::expire() {
    const auto now = std::chrono::steady_clock::now();
    while (!waiting_.empty() && waiting_.begin()->first <= now) {
        Exchange* ex = waiting_.begin()->second;
        waiting_.erase(waiting_.begin());
        if (server_.withdraw(ex->call)) {
            ex->call.reset();
            send(ex, HttpServer::busy());
        }
    }
}

DWORD WinTransport::wait_time() const {
    if (waiting_.empty()) return INFINITE;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        waiting_.begin()->first - std::chrono::steady_clock::now());
    return left.count() <= 0 ? 0 : static_cast<DWORD>(left.count());
}

// Brings the exchange's grant from the shared budget to what it holds beyond its own
// allowance; false, leaving the grant as it was, when the budget cannot cover it.
bool WinTransport::cover(Exchange* ex, std::size_t held) {
    const std::size_t need =
        held > HttpServer::connection_allowance ? held - HttpServer::connection_allowance : 0;
    if (need > ex->granted) {
        if (need - ex->granted > server_.caps().request_bytes - budget_used_) return false;
        budget_used_ += need - ex->granted;
    } else {
        budget_used_ -= ex->granted - need;
    }
    ex->granted = need;
    return true;
}

void WinTransport::send(Exchange* ex, HttpServer::Response answer, ULONG flags) {
    ex->answer = std::move(answer);
    const HttpServer::Response& a = ex->answer;
    ex->length = std::to_string(a.body.size());
    ex->response = HTTP_RESPONSE{};
    ex->response.Version = HTTP_VERSION_1_1;
    ex->response.StatusCode = a.status;
    ex->response.pReason = a.reason.c_str();
    ex->response.ReasonLength = static_cast<USHORT>(a.reason.size());
    static constexpr std::string_view json = "application/json";
    auto& headers = ex->response.Headers.KnownHeaders;
    headers[HttpHeaderContentType].pRawValue = json.data();
    headers[HttpHeaderContentType].RawValueLength = static_cast<USHORT>(json.size());
    headers[HttpHeaderContentLength].pRawValue = ex->length.c_str();
    headers[HttpHeaderContentLength].RawValueLength = static_cast<USHORT>(ex->length.size());
    if (a.retry_after != 0) {
        ex->retry_after = std::to_string(a.retry_after);
        headers[HttpHeaderRetryAfter].pRawValue = ex->retry_after.c_str();
        headers[HttpHeaderRetryAfter].RawValueLength = static_cast<USHORT>(ex->retry_after.size());
    }
    ex->chunk = HTTP_DATA_CHUNK{};
    if (!a.body.empty()) {
        ex->chunk.DataChunkType = HttpDataChunkFromMemory;
        ex->chunk.FromMemory.pBuffer = const_cast<char*>(a.body.data());
        ex->chunk.FromMemory.BufferLength = static_cast<ULONG>(a.body.size());
        ex->response.EntityChunkCount = 1;
        ex->response.pEntityChunks = &ex->chunk;
    }
    ex->overlapped = OVERLAPPED{};
    const ULONG rc = HttpSendHttpResponse(queue_, ex->id, flags, &ex->response, nullptr, nullptr,
                                          nullptr, 0, &ex->overlapped, nullptr);
    if (rc == NO_ERROR || rc == ERROR_IO_PENDING) {
        ++pending_;
        return;
    }
    finish(ex);
}

void WinTransport::finish(Exchange* ex) {
    cover(ex, 0);
    if (ex->serving) --serving_;
    if (ex->call) waiting_.erase({ex->call->deadline, ex});
    const auto it = std::find_if(exchanges_.begin(), exchanges_.end(),
                                 [ex](const auto& e) { return e.get() == ex; });
    if (it != exchanges_.end()) {
        std::swap(*it, exchanges_.back());
        exchanges_.pop_back();
    }
}

// What HttpServer owns: the transport, unless closing had to leave it to the API's operations
// or to its thread, which may still use it; then it is never freed.
class OwnedTransport final : public HttpTransport {
  public:
    explicit OwnedTransport(HttpServer& server)
        : transport_(std::make_unique<WinTransport>(server)) {}
    ~OwnedTransport() override { Close(); }

    bool Open(std::uint16_t port, std::string& error) override {
        return transport_->Open(port, error);
    }
    std::string Close() override {
        if (!transport_) return {};
        std::string left = transport_->Close();
        if (!left.empty()) static_cast<void>(transport_.release());
        return left;
    }

  private:
    std::unique_ptr<WinTransport> transport_;
};

}  // namespace

std::unique_ptr<HttpTransport> make_http_transport(HttpServer& server) {
    return std::make_unique<OwnedTransport>(server);
}

void stall_operations_for_test(std::size_t count) {
    stalled_for_test = count;
}

}  // namespace win32util
