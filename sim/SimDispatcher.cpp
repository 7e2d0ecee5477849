#include "SimDispatcher.h"

std::string_view SimRequestKey(std::string_view request) {
    return request.size() < 2 ? std::string_view() : request.substr(0, 2);
}

bool CSimDispatcher::Register(std::string key, CSimHandler handler) {
    if (key.size() != 2 || !handler) {
        return false;
    }
    return handlers_.emplace(std::move(key), std::move(handler)).second;
}

bool CSimDispatcher::Has(std::string_view key) const {
    return handlers_.find(key) != handlers_.end();
}

std::string CSimDispatcher::Dispatch(std::string_view request, const CSimUser* user,
                                     CSimInstrument& instrument) const {
    const std::string_view key = SimRequestKey(request);
    const auto found = handlers_.find(key);
    if (key.empty() || found == handlers_.end()) {
        return std::string(kSimErrorLine);
    }
    std::string answer = found->second(CSimRequest{request, key, user}, instrument);
    if (answer.empty()) {
        return std::string(kSimErrorLine);
    }
    return answer;
}
