// The listener's Linux transport: libmicrohttpd with exactly one internal polling thread, so
// that every callback below and every handler runs on that one serving thread.

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>
#include <system_error>
#include <unordered_map>

#include "http/http_transport.hpp"
#include "http/utf8.hpp"

namespace win32util {

namespace {

// Room for a full 64 KiB head plus the library's bookkeeping and the answer's head. The library
// maps pools above 32 KiB per connection instead of taking them from malloc, which makes each new
// connection markedly dearer (page faults, and TLB shootdowns on unmapping).
constexpr std::size_t kConnectionMemory = 2 * HttpServer::kHeadBufferSize;

std::string error_text(int code) {
    return std::generic_category().message(code);
}

bool equals_caseless(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// One request while its head and body arrive.
struct Exchange {
    std::size_t uri_size = 0;
    bool screened = false;
    bool overflow = false;
    std::string body;
};

// What the request head says about framing and origin.
struct HeadScan {
    std::size_t header_bytes = 0;
    int content_length_count = 0;
    bool content_length_valid = true;
    unsigned long long content_length = 0;
    bool transfer_encoding = false;
    bool origin = false;
    int host_count = 0;
    bool host_loopback = false;
};

MHD_Result scan_header(void* cls, MHD_ValueKind, const char* key, size_t key_size,
                       const char* value, size_t value_size) {
    auto& scan = *static_cast<HeadScan*>(cls);
    const std::string_view name(key, key_size);
    const std::string_view text(value, value_size);
    scan.header_bytes += key_size + 2 + value_size + 2;
    if (equals_caseless(name, "Content-Length")) {
        ++scan.content_length_count;
        unsigned long long n = 0;
        bool valid = !text.empty();
        for (const char c : text) {
            if (c < '0' || c > '9' || n > (~0ULL - 9) / 10) {
                valid = false;
                break;
            }
            n = n * 10 + static_cast<unsigned>(c - '0');
        }
        scan.content_length_valid = scan.content_length_valid && valid;
        scan.content_length = n;
    } else if (equals_caseless(name, "Transfer-Encoding")) {
        scan.transfer_encoding = true;
    } else if (equals_caseless(name, "Origin")) {
        scan.origin = true;
    } else if (equals_caseless(name, "Host")) {
        ++scan.host_count;
        scan.host_loopback = IsLoopbackHost(text);
    }
    return MHD_YES;
}

class MhdTransport final : public HttpTransport {
  public:
    explicit MhdTransport(const HttpServer& server) : server_(server) {}
    ~MhdTransport() override { Close(); }

    bool Open(std::uint16_t port, std::string& error) override;
    void Close() override;

  private:
    static void* OnRequestLine(void* cls, const char* uri, MHD_Connection* connection);
    static MHD_Result OnRequest(void* cls, MHD_Connection* connection, const char* url,
                                const char* method, const char* version, const char* upload_data,
                                size_t* upload_data_size, void** request_context);
    static void OnCompleted(void* cls, MHD_Connection* connection, void** request_context,
                            MHD_RequestTerminationCode code);
    static void OnConnection(void* cls, MHD_Connection* connection, void** socket_context,
                             MHD_ConnectionNotificationCode code);

    MHD_Result Handle(MHD_Connection* connection, const char* url, const char* method,
                      const char* version, const char* upload_data, size_t* upload_data_size,
                      void** request_context);
    // The refusal a request earns by its head alone, if any.
    static std::optional<HttpServer::Response> Screen(MHD_Connection* connection,
                                                      const char* method, const char* version,
                                                      const Exchange& exchange);
    static MHD_Result Send(MHD_Connection* connection, const HttpServer::Response& response);

    const HttpServer& server_;
    MHD_Daemon* daemon_ = nullptr;
    // Touched only by the serving thread while the daemon runs.
    std::unordered_map<MHD_Connection*, Exchange> exchanges_;
};

bool MhdTransport::Open(std::uint16_t port, std::string& error) {
    const std::string where = "127.0.0.1:" + std::to_string(port);
    if (port == 0) {
        // Port 0 would listen on a port nobody asked for.
        error = "bind " + where + ": port 0 is not allowed";
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = "socket: " + error_text(errno);
        return false;
    }
    const auto fail = [&](const std::string& step) {
        const int code = errno;
        ::close(fd);
        error = step + ": " + error_text(code);
        return false;
    };
    // Lets a restarted service take the port over from connections still in TIME_WAIT; a port
    // another socket is bound to stays refused.
    const int one = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) {
        return fail("setsockopt " + where);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return fail("bind " + where);
    }
    if (::listen(fd, SOMAXCONN) != 0) return fail("listen " + where);

    struct stat before {};
    ::fstat(fd, &before);
    // clang-format off
    daemon_ = MHD_start_daemon(
        MHD_USE_EPOLL_INTERNAL_THREAD | MHD_USE_TURBO, port, nullptr, nullptr,
        &MhdTransport::OnRequest, this,
        MHD_OPTION_LISTEN_SOCKET, fd,
        MHD_OPTION_CONNECTION_TIMEOUT, HttpServer::kIdleTimeoutSeconds,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory,
        MHD_OPTION_URI_LOG_CALLBACK, &MhdTransport::OnRequestLine, this,
        MHD_OPTION_NOTIFY_COMPLETED, &MhdTransport::OnCompleted, this,
        MHD_OPTION_NOTIFY_CONNECTION, &MhdTransport::OnConnection, this,
        MHD_OPTION_END);
    // clang-format on
    if (daemon_ == nullptr) {
        const int code = errno;
        // The library may or may not have closed the socket it was given; close it only if the
        // descriptor still refers to that socket.
        struct stat after {};
        if (::fstat(fd, &after) == 0 && after.st_ino == before.st_ino &&
            after.st_dev == before.st_dev) {
            ::close(fd);
        }
        error = "MHD_start_daemon " + where + ": " + error_text(code != 0 ? code : EIO);
        return false;
    }
    return true;
}

void MhdTransport::Close() {
    if (daemon_ == nullptr) return;
    // Closes the listening socket and every connection, and joins the serving thread.
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
    exchanges_.clear();
}

void* MhdTransport::OnRequestLine(void* cls, const char* uri, MHD_Connection* connection) {
    auto& self = *static_cast<MhdTransport*>(cls);
    try {
        Exchange& exchange = self.exchanges_[connection];
        exchange = Exchange{};
        exchange.uri_size = std::strlen(uri);
        return &exchange;
    } catch (...) {
        return nullptr;
    }
}

void MhdTransport::OnCompleted(void* cls, MHD_Connection* connection, void**,
                               MHD_RequestTerminationCode) {
    auto& self = *static_cast<MhdTransport*>(cls);
    const auto it = self.exchanges_.find(connection);
    // An idle keep-alive connection should not hold on to the last body.
    if (it != self.exchanges_.end()) it->second = Exchange{};
}

void MhdTransport::OnConnection(void* cls, MHD_Connection* connection, void**,
                                MHD_ConnectionNotificationCode code) {
    if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
        static_cast<MhdTransport*>(cls)->exchanges_.erase(connection);
    }
}

MHD_Result MhdTransport::OnRequest(void* cls, MHD_Connection* connection, const char* url,
                                   const char* method, const char* version, const char* upload_data,
                                   size_t* upload_data_size, void** request_context) {
    try {
        return static_cast<MhdTransport*>(cls)->Handle(
            connection, url, method, version, upload_data, upload_data_size, request_context);
    } catch (...) {
        // Nothing may unwind into the library; dropping the connection is the answer left.
        return MHD_NO;
    }
}

MHD_Result MhdTransport::Handle(MHD_Connection* connection, const char* url, const char* method,
                                const char* version, const char* upload_data,
                                size_t* upload_data_size, void** request_context) {
    if (*request_context == nullptr) *request_context = &exchanges_[connection];
    Exchange& exchange = *static_cast<Exchange*>(*request_context);

    if (!exchange.screened) {
        // The head is complete; nothing of the body has been read yet.
        exchange.screened = true;
        if (const auto refusal = Screen(connection, method, version, exchange)) {
            return Send(connection, *refusal);
        }
        return MHD_YES;
    }
    if (*upload_data_size != 0) {
        // Everything offered is taken: the library offers the rest of a piece again only when
        // more bytes arrive, which at the end of a body never happens. Its read buffer bounds
        // each piece.
        if (exchange.overflow ||
            exchange.body.size() + *upload_data_size > HttpServer::kMaxBodySize) {
            // A chunked body has no declared size to refuse up front. Answering in the middle of
            // it would close the connection on unread bytes, and the reset would destroy the
            // answer on its way, so the rest is read and dropped first.
            exchange.overflow = true;
            std::string().swap(exchange.body);
        } else {
            exchange.body.append(upload_data, *upload_data_size);
        }
        *upload_data_size = 0;
        return MHD_YES;
    }
    if (exchange.overflow) {
        return Send(connection, ListenerError(413, "Payload Too Large", "request body too large"));
    }
    HttpServer::Request request{method, Utf8ToUtf16(url), std::move(exchange.body)};
    exchange.body.clear();
    return Send(connection, server_.Dispatch(request));
}

std::optional<HttpServer::Response> MhdTransport::Screen(MHD_Connection* connection,
                                                         const char* method, const char* version,
                                                         const Exchange& exchange) {
    HeadScan scan;
    MHD_get_connection_values_n(connection, MHD_HEADER_KIND, &scan_header, &scan);
    const std::size_t head_size = std::strlen(method) + 1 + exchange.uri_size + 1 +
                                  std::strlen(version) + 2 + scan.header_bytes + 2;
    if (head_size > HttpServer::kHeadBufferSize) {
        return ListenerError(431, "Request Header Fields Too Large", "request head too large");
    }
    // Browsers send Origin; no web page may drive the calculator.
    if (scan.origin) return ListenerError(403, "Forbidden", "forbidden");
    const bool http_1_0 = std::strcmp(version, MHD_HTTP_VERSION_1_0) == 0;
    if (scan.host_count > 1 || (scan.host_count == 0 && !http_1_0)) {
        return ListenerError(400, "Bad Request", "bad request");
    }
    if (scan.host_count == 1 && !scan.host_loopback) {
        return ListenerError(403, "Forbidden", "forbidden");
    }
    // Ambiguous framing is how requests get smuggled past a proxy.
    if (scan.content_length_count > 1 || !scan.content_length_valid ||
        (scan.content_length_count == 1 && scan.transfer_encoding)) {
        return ListenerError(400, "Bad Request", "bad request");
    }
    if (scan.content_length_count == 1 && scan.content_length > HttpServer::kMaxBodySize) {
        return ListenerError(413, "Payload Too Large", "request body too large");
    }
    return std::nullopt;
}

MHD_Result MhdTransport::Send(MHD_Connection* connection, const HttpServer::Response& response) {
    // The library writes Content-Length itself and its own standard reason phrase, which is the
    // one the handlers give for every status they use.
    MHD_Response* answer = MHD_create_response_from_buffer(
        response.body.size(), const_cast<char*>(response.body.data()), MHD_RESPMEM_MUST_COPY);
    if (answer == nullptr) return MHD_NO;
    MHD_add_response_header(answer, MHD_HTTP_HEADER_CONTENT_TYPE, "application/json");
    const MHD_Result queued = MHD_queue_response(connection, response.status, answer);
    MHD_destroy_response(answer);
    return queued;
}

}  // namespace

std::unique_ptr<HttpTransport> MakeHttpTransport(const HttpServer& server) {
    return std::make_unique<MhdTransport>(server);
}

}  // namespace win32util
