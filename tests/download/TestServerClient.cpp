#include "TestServerClient.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

struct WinsockSession {
    WinsockSession() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockSession() { WSACleanup(); }
};

bool ReadText(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream all;
    all << in.rdbuf();
    *text = all.str();
    return true;
}

} // namespace

std::string WinePathOf(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

bool TestServerClient::Connect(std::string* why) {
    static WinsockSession winsock;
    const char* binary = getenv("TEST_BINARY_DIR");
    if (!binary) {
        *why = "TEST_BINARY_DIR is not set (run the tests through ctest)";
        return false;
    }
    folder = WinePathOf(std::string(binary) + "/tests/download/server");
    std::string text;
    if (!ReadText(folder + "\\port", &text) || (port = atoi(text.c_str())) <= 0) {
        *why = "no test server: " + folder +
               "\\port is missing (the download_server fixture starts it)";
        return false;
    }
    if (!ReadText(folder + "-tls\\port", &text) || (tlsPort = atoi(text.c_str())) <= 0) {
        *why = "no HTTPS test server: " + folder + "-tls\\port is missing";
        return false;
    }
    return true;
}

std::string TestServerClient::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

std::string TestServerClient::UntrustedHttpsUrl(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(tlsPort) + path;
}

bool TestServerClient::PutFile(const std::string& name, const std::string& bytes) const {
    std::ofstream out(folder + "\\files\\" + name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool TestServerClient::SetRules(const std::string& json) const {
    std::string answer;
    return Request("POST", "/__rules", json, &answer);
}

std::vector<ServerLogEntry> TestServerClient::Log(const std::string& path) const {
    std::vector<ServerLogEntry> entries;
    std::string text;
    if (!Request("GET", "/__log?format=text&path=" + path, "", &text))
        return entries;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        ServerLogEntry entry;
        std::string status;
        fields >> entry.method >> status >> entry.sent;
        entry.status = atoi(status.c_str());
        std::getline(fields >> std::ws, entry.range);
        if (entry.range == "-")
            entry.range.clear();
        entries.push_back(entry);
    }
    return entries;
}

bool TestServerClient::Request(const char* method, const std::string& path, const std::string& body,
                               std::string* answer) const {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    DWORD timeout = 10000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    bool ok = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    std::string reply;
    if (ok) {
        std::string message = std::string(method) + " " + path +
                              " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                              "Content-Length: " +
                              std::to_string(body.size()) + "\r\n\r\n" + body;
        ok = send(s, message.data(), static_cast<int>(message.size()), 0) ==
             static_cast<int>(message.size());
        char buffer[16384];
        int got;
        while (ok && (got = recv(s, buffer, sizeof buffer, 0)) > 0)
            reply.append(buffer, static_cast<size_t>(got));
    }
    closesocket(s);
    size_t end = reply.find("\r\n\r\n");
    if (!ok || reply.compare(0, 9, "HTTP/1.1 ") != 0 || end == std::string::npos)
        return false;
    int status = atoi(reply.c_str() + 9);
    *answer = reply.substr(end + 4);
    return status >= 200 && status <= 299;
}
