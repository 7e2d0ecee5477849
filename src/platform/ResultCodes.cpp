#include "platform/ResultCodes.h"

const char* ResultCodeName(RzResult code) {
    switch (code) {
        case RZ_OK:
            return "OK";
        case REPLY_ERROR:
            return "REPLY_ERROR";
        case REPLY_UNEXPECTED:
            return "REPLY_UNEXPECTED";
        case LINK_E_GENERAL:
            return "LINK_E_GENERAL";
        case LINK_E_NOT_INITIALIZED:
            return "LINK_E_NOT_INITIALIZED";
        case LINK_E_EXISTS:
            return "LINK_E_EXISTS";
        case LINK_E_NOT_LOGGED_IN:
            return "LINK_E_NOT_LOGGED_IN";
        case LINK_E_UNSUPPORTED:
            return "LINK_E_UNSUPPORTED";
        case LINK_E_PARAMETER:
            return "LINK_E_PARAMETER";
        case LINK_E_FIELDS:
            return "LINK_E_FIELDS";
        case LINK_E_KIND:
            return "LINK_E_KIND";
        case LINK_E_NO_MEMORY:
            return "LINK_E_NO_MEMORY";
        case LINK_E_BUFFER_SMALL:
            return "LINK_E_BUFFER_SMALL";
        case LINK_E_FILE:
            return "LINK_E_FILE";
        case LINK_E_FILE_FORMAT:
            return "LINK_E_FILE_FORMAT";
        case LINK_E_OPEN:
            return "LINK_E_OPEN";
        case LINK_E_NOT_OPEN:
            return "LINK_E_NOT_OPEN";
        case LINK_E_BROKEN:
            return "LINK_E_BROKEN";
        case LINK_E_LOGIN:
            return "LINK_E_LOGIN";
        case LINK_E_SEND:
            return "LINK_E_SEND";
        case LINK_E_TIMEOUT:
            return "LINK_E_TIMEOUT";
        case LINK_E_FORMAT:
            return "LINK_E_FORMAT";
        case LINK_E_BUSY:
            return "LINK_E_BUSY";
        default:
            return "UNKNOWN";
    }
}
