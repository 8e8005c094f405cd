#include "CompletionTokens.h"

#include <bcrypt.h>

#include <algorithm>
#include <atomic>

namespace {

// 64 bits from the system's random number generator. Should it ever fail, a
// value that is still unique within the process takes its place.
LPARAM RandomToken() {
    LPARAM token = 0;
    if (BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&token), sizeof token,
                        BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0)
        return token;
    static std::atomic<LPARAM> sequence{0};
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<LPARAM>(now.QuadPart << 20) ^ ++sequence;
}

} // namespace

LPARAM CompletionTokens::Issue(CompletionKind kind) {
    LPARAM token;
    do
        token = RandomToken();
    while (token == 0 || std::any_of(awaited.begin(), awaited.end(),
                                     [token](const Entry& e) { return e.token == token; }));
    awaited.push_back(Entry{token, kind});
    return token;
}

std::optional<CompletionKind> CompletionTokens::Redeem(LPARAM token) {
    auto found = std::find_if(awaited.begin(), awaited.end(),
                              [token](const Entry& e) { return e.token == token; });
    if (found == awaited.end())
        return std::nullopt;
    CompletionKind kind = found->kind;
    awaited.erase(found);
    return kind;
}

std::vector<LPARAM> CompletionTokens::Awaited() const {
    std::vector<LPARAM> tokens;
    for (const Entry& e : awaited)
        tokens.push_back(e.token);
    return tokens;
}
