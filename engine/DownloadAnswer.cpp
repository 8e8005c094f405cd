#include "DownloadAnswer.h"

#include "HttpDownload.h"

#include <wininet.h>

namespace {

// WSAETIMEDOUT: Wine's WinINet passes this Winsock code through when a receive
// times out.
constexpr DWORD kWinsockTimedOut = 10060;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

const char* SkipBlanks(const char* p) {
    while (IsBlank(*p))
        ++p;
    return p;
}

// Reads decimal digits at *p into *value; false without digits or on overflow.
bool ReadNumber(const char** p, uint64_t* value) {
    const char* s = *p;
    if (*s < '0' || *s > '9')
        return false;
    uint64_t v = 0;
    for (; *s >= '0' && *s <= '9'; ++s) {
        unsigned digit = static_cast<unsigned>(*s - '0');
        if (v > (UINT64_MAX - digit) / 10)
            return false;
        v = v * 10 + digit;
    }
    *value = v;
    *p = s;
    return true;
}

bool StartsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix) {
        char c = *text;
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != *prefix)
            return false;
    }
    return true;
}

} // namespace

bool ParseByteCount(const char* text, uint64_t* count) {
    if (!text)
        return false;
    const char* p = SkipBlanks(text);
    uint64_t value;
    if (!ReadNumber(&p, &value))
        return false;
    if (*SkipBlanks(p) != '\0')
        return false;
    *count = value;
    return true;
}

bool ParseContentRange(const char* text, ContentRange* range) {
    if (!text)
        return false;
    const char* p = SkipBlanks(text);
    if (!StartsWithNoCase(p, "bytes"))
        return false;
    p += 5;
    if (!IsBlank(*p))
        return false;
    p = SkipBlanks(p);

    ContentRange r;
    if (*p == '*') {
        ++p;
    } else {
        if (!ReadNumber(&p, &r.first) || *p++ != '-' || !ReadNumber(&p, &r.last))
            return false;
        if (r.last < r.first)
            return false;
        r.hasRange = true;
    }
    if (*p++ != '/')
        return false;
    if (*p == '*') {
        ++p;
    } else {
        if (!ReadNumber(&p, &r.total))
            return false;
        r.hasTotal = true;
    }
    if (*SkipBlanks(p) != '\0')
        return false;
    if (!r.hasRange && !r.hasTotal)
        return false; // "bytes */*" says nothing
    if (r.hasRange && r.hasTotal && r.last >= r.total)
        return false;
    *range = r;
    return true;
}

bool IsRedirectStatus(unsigned status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

AnswerPlan PlanAnswer(const AnswerFacts& facts) {
    AnswerPlan plan;
    const unsigned status = facts.status;

    if (IsRedirectStatus(status)) {
        plan.action = facts.hasLocation ? AnswerAction::Redirect : AnswerAction::Fail;
        return plan;
    }

    if (status == 416) {
        // Asked for bytes past the end: with the server's total equal to what
        // we hold, the local file is the whole file. Any other total means the
        // local file is not a prefix of this remote file.
        if (!facts.rangeSent)
            return plan;
        ContentRange range;
        if (ParseContentRange(facts.contentRange, &range) && range.hasTotal && !range.hasRange &&
            range.total == facts.rangeStart) {
            plan.action = AnswerAction::AlreadyComplete;
            plan.totalKnown = true;
            plan.total = range.total;
            return plan;
        }
        plan.action = AnswerAction::RestartWhole;
        return plan;
    }

    if (status == 206) {
        // Only a continuation exactly at our offset to the end of the file can
        // be appended; anything else would splice unrelated bytes.
        if (!facts.rangeSent)
            return plan;
        ContentRange range;
        if (!ParseContentRange(facts.contentRange, &range) || !range.hasRange ||
            range.first != facts.rangeStart) {
            plan.action = AnswerAction::RestartWhole;
            return plan;
        }
        // Without a total ("/*") the range's end is not known to be the
        // file's end, so nothing proves the file complete after appending.
        uint64_t end = range.last + 1;
        if (!range.hasTotal || end != range.total) {
            plan.action = AnswerAction::RestartWhole;
            return plan;
        }
        if (facts.hasLength && facts.length != end - range.first) {
            plan.action = AnswerAction::RestartWhole;
            return plan;
        }
        plan.action = AnswerAction::Append;
        plan.totalKnown = true;
        plan.total = end;
        return plan;
    }

    if (status == 200) {
        // The whole file (a server that ignores Range answers 200 too). Other
        // 2xx answers (204 No Content, 203 from a transforming proxy...) do
        // not carry the file and fail like any other status.
        plan.action = AnswerAction::WriteWhole;
        plan.totalKnown = facts.hasLength;
        plan.total = facts.hasLength ? facts.length : 0;
        return plan;
    }

    return plan; // every other status is a failure
}

bool RedirectAllowed(const char* from, const char* to) {
    if (!from || !to)
        return false;
    return !StartsWithNoCase(from, "https:") || StartsWithNoCase(to, "https:");
}

unsigned ResultForInternetError(DWORD error, TransferPhase phase) {
    switch (error) {
    case ERROR_INTERNET_TIMEOUT:
    case kWinsockTimedOut:
        return DownloadTimeout;
    case ERROR_INTERNET_INVALID_URL:
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
        return DownloadBadUrl;
    default:
        break;
    }
    return phase == TransferPhase::Request ? DownloadConnectFailed : DownloadShortBody;
}
