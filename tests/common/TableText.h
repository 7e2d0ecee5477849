#pragma once

#include <algorithm>
#include <string>
#include <vector>

// Table rows state lists as one text with a separator: "E0\r\n|E1\r\n".

// The pieces of `text` between separators; none for an empty text.
inline std::vector<std::string> Split(const std::string& text, char separator = '|') {
    std::vector<std::string> pieces;
    for (size_t at = 0; !text.empty() && at <= text.size();) {
        const size_t end = std::min(text.find(separator, at), text.size());
        pieces.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return pieces;
}

// The pieces joined with the separator.
inline std::string Joined(const std::vector<std::string>& pieces, char separator = '|') {
    std::string text;
    for (size_t i = 0; i < pieces.size(); ++i) {
        text += (i == 0 ? "" : std::string(1, separator)) + pieces[i];
    }
    return text;
}
