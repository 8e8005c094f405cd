// The download tests' side of the local test server (tests/server): the ctest
// fixture starts one server for the run with `harness.py start`, and each test
// reaches it through this client - its files, its rules and its request log.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One request as the server logged it.
struct ServerLogEntry {
    std::string method;
    int status = 0;
    uint64_t sent = 0; // body bytes written
    std::string range; // the Range header, empty when there was none
};

class TestServerClient {
public:
    // Finds the fixture's server (its port file under TEST_BINARY_DIR); false
    // with a reason when there is none.
    bool Connect(std::string* why);

    // http://127.0.0.1:<port> followed by `path` (which starts with '/').
    std::string Url(const std::string& path) const;

    // https://127.0.0.1:<port of the fixture's HTTPS server> followed by `path`;
    // that server's certificate is self-signed, so no client trusts it.
    std::string UntrustedHttpsUrl(const std::string& path) const;

    // Puts `bytes` at `name` (no folders) in the served folder.
    bool PutFile(const std::string& name, const std::string& bytes) const;

    // Sets the rules of some paths: a JSON object {path: rule or null}, see
    // tests/server/testserver.py.
    bool SetRules(const std::string& json) const;

    // What the server saw for `path`, oldest first.
    std::vector<ServerLogEntry> Log(const std::string& path) const;

    // A simple request to the server; the body of a 2xx answer, false otherwise.
    bool Request(const char* method, const std::string& path, const std::string& body,
                 std::string* answer) const;

private:
    std::string folder; // Windows path of the fixture's folder
    int port = 0;
    int tlsPort = 0;
};

// A Windows path (Z:\...) for a Unix path, as Wine maps the root file system.
std::string WinePathOf(const std::string& unixPath);
