#include "RequestStage.h"

#include <wininet.h>

RequestStage StageAfter(RequestStage stage, DWORD status) {
    RequestStage reached = stage;
    switch (status) {
    case INTERNET_STATUS_CONNECTING_TO_SERVER:
    case INTERNET_STATUS_CONNECTED_TO_SERVER: // the TLS handshake, if any, still follows
        reached = RequestStage::Connecting;
        break;
    case INTERNET_STATUS_SENDING_REQUEST:
    case INTERNET_STATUS_REQUEST_SENT:
    case INTERNET_STATUS_RECEIVING_RESPONSE:
    case INTERNET_STATUS_RESPONSE_RECEIVED:
        reached = RequestStage::Connected;
        break;
    default:
        break;
    }
    return reached > stage ? reached : stage;
}

DWORD StageLimitMs(RequestStage stage, const DownloadTimeouts& timeouts) {
    switch (stage) {
    case RequestStage::Waiting:
        return kConnectionWaitMs;
    case RequestStage::Connecting:
        return timeouts.connectMs;
    case RequestStage::Connected:
        return timeouts.receiveMs;
    }
    return timeouts.receiveMs;
}
