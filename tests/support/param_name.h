// Names of value-parameterised test rows: GoogleTest accepts only [A-Za-z0-9_] in them.
#pragma once

#include <string>
#include <string_view>

// The row's text with each other character made '_'; an empty text is "Empty".
inline std::string paramName(std::string_view text) {
    std::string name(text);
    for (char &c : name)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) c = '_';
    return name.empty() ? "Empty" : name;
}
