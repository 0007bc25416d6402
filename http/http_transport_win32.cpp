// The listener's Windows transport: the HTTP Server API 2.0 with one serving thread that takes
// requests synchronously, one at a time, and hands each to HttpServer::Dispatch.

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

#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "http/http_transport.hpp"

namespace win32util {

namespace {

constexpr HTTPAPI_VERSION kApiVersion = HTTPAPI_VERSION_2;

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

// The refusal a request earns by its head alone, if any: the same rules as on Linux. The API
// itself rejects malformed framing and repeated Host headers before a request gets here.
std::optional<HttpServer::Response> screen(const HTTP_REQUEST& request) {
    if (!is_loopback_peer(request.Address.pRemoteAddress)) {
        return ListenerError(403, "Forbidden", "forbidden");
    }
    // Browsers send Origin; no web page may drive the calculator.
    if (has_unknown_header(request, "Origin")) return ListenerError(403, "Forbidden", "forbidden");
    const std::string_view host = known_header(request, HttpHeaderHost);
    const bool http_1_0 = request.Version.MajorVersion == 1 && request.Version.MinorVersion == 0;
    if (host.empty() && !http_1_0) return ListenerError(400, "Bad Request", "bad request");
    if (!host.empty() && !IsLoopbackHost(host)) return ListenerError(403, "Forbidden", "forbidden");
    const std::string_view length = known_header(request, HttpHeaderContentLength);
    if (!length.empty()) {
        unsigned long long n = 0;
        for (const char c : length) {
            if (c < '0' || c > '9') return ListenerError(400, "Bad Request", "bad request");
            n = n * 10 + static_cast<unsigned>(c - '0');
            if (n > HttpServer::kMaxBodySize) {
                return ListenerError(413, "Payload Too Large", "request body too large");
            }
        }
    }
    return std::nullopt;
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

class WinTransport final : public HttpTransport {
  public:
    explicit WinTransport(const HttpServer& server) : server_(server) {}
    ~WinTransport() override { Close(); }

    bool Open(std::uint16_t port, std::string& error) override;
    void Close() override;

  private:
    static DWORD WINAPI ServeThread(void* self);
    void ServeLoop();
    void Serve(const HTTP_REQUEST& head);
    // The whole entity body; overflow tells that it was longer than the limit (and dropped).
    std::string ReadBody(HTTP_REQUEST_ID id, bool& overflow);
    void SendResponse(HTTP_REQUEST_ID id, const HttpServer::Response& response);
    void ReleaseApi();

    const HttpServer& server_;
    bool initialized_ = false;
    HTTP_SERVER_SESSION_ID session_ = 0;
    HTTP_URL_GROUP_ID url_group_ = 0;
    HANDLE queue_ = nullptr;
    HANDLE thread_ = nullptr;
    std::vector<std::wstring> prefixes_;  // the URL prefixes added to the group
    HMODULE module_ = nullptr;            // the serving thread's reference on this code's module
    std::atomic<bool> running_{false};
};

bool WinTransport::Open(std::uint16_t port, std::string& error) {
    ULONG rc = HttpInitialize(kApiVersion, HTTP_INITIALIZE_SERVER, nullptr);
    if (rc != NO_ERROR) {
        error = step_error("HttpInitialize", rc);
        return false;
    }
    initialized_ = true;
    rc = HttpCreateServerSession(kApiVersion, &session_, 0);
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
    rc = HttpCreateRequestQueue(kApiVersion, nullptr, nullptr, 0, &queue_);
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

    // The serving thread holds its own reference on the module its code lives in and gives it
    // back only as it ends, so an unload can never pull the code from under it. The service is
    // stopped when the add-in closes; an unload without that leaves the library loaded instead
    // of waiting for the thread under the loader's lock.
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(&WinTransport::ServeThread), &module);
    module_ = module;
    running_ = true;
    thread_ = CreateThread(nullptr, 0, &WinTransport::ServeThread, this, 0, nullptr);
    if (thread_ == nullptr) {
        running_ = false;
        if (module != nullptr) FreeLibrary(module);
        ReleaseApi();
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    return true;
}

void WinTransport::Close() {
    if (thread_ != nullptr) {
        running_ = false;
        static const ShutdownFunction shutdown = find_shutdown();
        if (shutdown != nullptr) {
            shutdown(queue_);
            WaitForSingleObject(thread_, INFINITE);
        } else {
            // A cancel reaches only a receive already waiting; the thread may be between two
            // requests, so it is repeated until the thread has seen the flag.
            do {
                CancelIoEx(queue_, nullptr);
            } while (WaitForSingleObject(thread_, 20) == WAIT_TIMEOUT);
        }
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    ReleaseApi();
}

void WinTransport::ReleaseApi() {
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
    if (queue_ != nullptr) {
        CloseHandle(queue_);
        queue_ = nullptr;
    }
    if (initialized_) {
        HttpTerminate(HTTP_INITIALIZE_SERVER, nullptr);
        initialized_ = false;
    }
}

DWORD WINAPI WinTransport::ServeThread(void* self) {
    auto& transport = *static_cast<WinTransport*>(self);
    // Read before the loop ends: once it has, Close may destroy the transport at any moment.
    const HMODULE module = transport.module_;
    try {
        transport.ServeLoop();
    } catch (...) {
        // Out of memory for the head buffer; the service answers nothing until restarted.
    }
    if (module != nullptr) FreeLibraryAndExitThread(module, 0);
    return 0;
}

void WinTransport::ServeLoop() {
    // 8-byte units keep the request structure at the start of the buffer aligned.
    constexpr std::size_t units = HttpServer::kHeadBufferSize / sizeof(ULONGLONG);
    const auto buffer = std::make_unique<ULONGLONG[]>(units);
    auto* head = reinterpret_cast<HTTP_REQUEST*>(buffer.get());
    while (running_) {
        ULONG received = 0;
        const ULONG rc = HttpReceiveHttpRequest(queue_, HTTP_NULL_ID, 0, head,
                                                HttpServer::kHeadBufferSize, &received, nullptr);
        if (rc == ERROR_MORE_DATA) {
            // A head larger than the buffer is refused, and the service serves on.
            SendResponse(head->RequestId, ListenerError(431, "Request Header Fields Too Large",
                                                        "request head too large"));
            continue;
        }
        if (rc != NO_ERROR) return;
        try {
            Serve(*head);
        } catch (...) {
            // Out of memory while building the request; the client sees the connection end.
        }
    }
}

void WinTransport::Serve(const HTTP_REQUEST& head) {
    if (const auto refusal = screen(head)) {
        // The body is read and dropped first: a connection closed on unread bytes is reset,
        // and the reset would destroy the answer on its way.
        bool overflow = false;
        ReadBody(head.RequestId, overflow);
        SendResponse(head.RequestId, *refusal);
        return;
    }
    HttpServer::Request request;
    request.method = method_of(head);
    if (head.CookedUrl.pAbsPath != nullptr) {
        request.path.assign(reinterpret_cast<const char16_t*>(head.CookedUrl.pAbsPath),
                            head.CookedUrl.AbsPathLength / sizeof(wchar_t));
    }
    bool overflow = false;
    request.body = ReadBody(head.RequestId, overflow);
    if (overflow) {
        SendResponse(head.RequestId,
                     ListenerError(413, "Payload Too Large", "request body too large"));
        return;
    }
    SendResponse(head.RequestId, server_.Dispatch(request));
}

std::string WinTransport::ReadBody(HTTP_REQUEST_ID id, bool& overflow) {
    std::string body;
    char chunk[HttpServer::kBodyReadSize];
    for (;;) {
        ULONG read = 0;
        const ULONG rc =
            HttpReceiveRequestEntityBody(queue_, id, 0, chunk, sizeof chunk, &read, nullptr);
        if (rc == ERROR_HANDLE_EOF) return body;
        if (rc != NO_ERROR || read == 0) return body;
        // A chunked body has no declared size to refuse up front: the rest is read and dropped.
        if (overflow || body.size() + read > HttpServer::kMaxBodySize) {
            overflow = true;
            std::string().swap(body);
            continue;
        }
        body.append(chunk, read);
    }
}

void WinTransport::SendResponse(HTTP_REQUEST_ID id, const HttpServer::Response& response) {
    const std::string length = std::to_string(response.body.size());
    HTTP_RESPONSE answer{};
    answer.Version = HTTP_VERSION_1_1;
    answer.StatusCode = response.status;
    answer.pReason = response.reason.c_str();
    answer.ReasonLength = static_cast<USHORT>(response.reason.size());
    static constexpr std::string_view json = "application/json";
    answer.Headers.KnownHeaders[HttpHeaderContentType].pRawValue = json.data();
    answer.Headers.KnownHeaders[HttpHeaderContentType].RawValueLength =
        static_cast<USHORT>(json.size());
    answer.Headers.KnownHeaders[HttpHeaderContentLength].pRawValue = length.c_str();
    answer.Headers.KnownHeaders[HttpHeaderContentLength].RawValueLength =
        static_cast<USHORT>(length.size());
    HTTP_DATA_CHUNK chunk{};
    if (!response.body.empty()) {
        chunk.DataChunkType = HttpDataChunkFromMemory;
        chunk.FromMemory.pBuffer = const_cast<char*>(response.body.data());
        chunk.FromMemory.BufferLength = static_cast<ULONG>(response.body.size());
        answer.EntityChunkCount = 1;
        answer.pEntityChunks = &chunk;
    }
    ULONG sent = 0;
    HttpSendHttpResponse(queue_, id, 0, &answer, nullptr, &sent, nullptr, 0, nullptr, nullptr);
}

}  // namespace

std::unique_ptr<HttpTransport> MakeHttpTransport(const HttpServer& server) {
    return std::make_unique<WinTransport>(server);
}

}  // namespace win32util
