// Words joined into one line, as messages and exports list them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvandel::text {

// The words with `separator` between them.
inline std::string Joined(const std::vector<std::string>& words, std::string_view separator) {
    std::string out;
    for (const std::string& word : words) {
        if (!out.empty()) {
            out += separator;
        }
        out += word;
    }
    return out;
}

}  // namespace orvandel::text
