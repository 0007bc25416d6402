#pragma once

// A plain socket client for the service on the loopback address, reading answers by their
// Content-Length, and the service's answer for the reference swap.

#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <map>
#include <string>

namespace qvl::service::testing {

// A TCP socket connected to (or, with connect false, bound to) 127.0.0.1:port; port 0 binds any
// free port and reports it back.
inline int loopback_socket(std::uint16_t& port, bool connect) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval limit{5, 0};  // no test waits longer for an answer
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in a{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    auto* address = reinterpret_cast<sockaddr*>(&a);
    socklen_t size = sizeof a;
    if ((connect ? ::connect(fd, address, size) : ::bind(fd, address, size)) != 0) {
        ::close(fd);
        return -1;
    }
    ::getsockname(fd, address, &size);
    if (!connect) port = ntohs(a.sin_port);
    return fd;
}

struct Reply {
    int status = 0;  // 0: closed or timed out before a whole answer
    std::string reason;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
};

class Client {
  public:
    explicit Client(std::uint16_t port) : fd_(loopback_socket(port, true)) {}
    ~Client() { ::close(fd_); }
    bool connected() const { return fd_ >= 0; }

    void send(const std::string& bytes) { ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    Reply read() {
        Reply reply;
        const std::string head = read_until("\r\n\r\n");
        if (head.empty()) return reply;
        std::size_t line = head.find("\r\n");
        reply.reason = head.substr(13, line - 13);
        for (std::size_t next; line + 4 < head.size(); line = next) {
            next = head.find("\r\n", line + 2);
            const std::size_t colon = head.find(':', line);
            std::string name = head.substr(line + 2, colon - line - 2);
            for (char& c : name) c = static_cast<char>(std::tolower(c));
            reply.headers[name] = head.substr(colon + 2, next - colon - 2);
        }
        const std::size_t size = std::stoul(reply.headers["content-length"]);
        while (buffer_.size() < size) {
            if (!fill()) return Reply{};
        }
        reply.status = std::stoi(head.substr(9, 3));
        reply.body = buffer_.substr(0, size);
        buffer_.erase(0, size);
        return reply;
    }

    // The bytes up to and including marker (also an interim answer, or a HEAD answer's head);
    // empty when the connection ends first.
    std::string read_until(const std::string& marker) {
        std::size_t end;
        while ((end = buffer_.find(marker)) == std::string::npos) {
            if (!fill()) return {};
        }
        std::string text = buffer_.substr(0, end + marker.size());
        buffer_.erase(0, text.size());
        return text;
    }

    // True when the server closed the connection (rather than leaving it open for 5 s).
    bool closed_by_server() {
        char byte;
        return ::recv(fd_, &byte, 1, 0) == 0;
    }

    Reply request(const std::string& method, const std::string& target, const std::string& body) {
        send(method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
             std::to_string(body.size()) + "\r\n\r\n" + body);
        return read();
    }

  private:
    bool fill() {
        char chunk[16384];
        const auto n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n > 0) buffer_.append(chunk, static_cast<std::size_t>(n));
        return n > 0;
    }

    int fd_;
    std::string buffer_;
};

// The reference swap valued at 2026-01-20 and 200 bp.
inline const std::string calculate_at200 =
    R"j({"Request":"Calculate","Trade Date":"2026-01-20","Credit Event Rate":200})j";
inline const std::string reference_valuation =
    R"j({"Upfront Fee (%)":0.03146156,"Conventional Spread (bp)":200.720859,)j"
    R"j("Par Spread (bp)":199.830577,"Credit Event Rate (bp)":200,"Clean Price":99.96853844,)j"
    R"j("Current Notional":9975830,"Upfront Payment":-3138.55,"Accrued Interest":3879.49,)j"
    R"j("Cash Settlement Amount":740.94,"Index Factor at Trade":0.997583,)j"
    R"j("Index Factor at Maturity":0.90300152,"Trade Date":"2026-01-20",)j"
    R"j("Settlement Date":"2026-01-23","Payment Date":"2026-02-11","OIS Date":"2026-01-20"})j";

}  // namespace qvl::service::testing
