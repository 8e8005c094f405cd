#include "hostkit.h"

extern "C" const char* HOSTKIT_CALL hostkit_result_name(hostkit_result result) {
    switch (result) {
    case HOSTKIT_OK:
        return "HOSTKIT_OK";
    case HOSTKIT_NOTHING:
        return "HOSTKIT_NOTHING";
    case HOSTKIT_ROLLED_BACK:
        return "HOSTKIT_ROLLED_BACK";
    case HOSTKIT_DISCARDED:
        return "HOSTKIT_DISCARDED";
    case HOSTKIT_BAD_ARGUMENT:
        return "HOSTKIT_BAD_ARGUMENT";
    case HOSTKIT_URL_TOO_LONG:
        return "HOSTKIT_URL_TOO_LONG";
    case HOSTKIT_BUSY:
        return "HOSTKIT_BUSY";
    case HOSTKIT_NO_UPDATER:
        return "HOSTKIT_NO_UPDATER";
    case HOSTKIT_SYSTEM:
        return "HOSTKIT_SYSTEM";
    case HOSTKIT_STAGE_REFUSED:
        return "HOSTKIT_STAGE_REFUSED";
    case HOSTKIT_STAGE_KEPT:
        return "HOSTKIT_STAGE_KEPT";
    case HOSTKIT_UNFINISHED:
        return "HOSTKIT_UNFINISHED";
    case HOSTKIT_TIMEOUT:
        return "HOSTKIT_TIMEOUT";
    case HOSTKIT_NOT_RUNNING:
        return "HOSTKIT_NOT_RUNNING";
    default:
        return "HOSTKIT_UNKNOWN";
    }
}
