// Names of value-parameterised test rows: GoogleTest accepts only [A-Za-z0-9_] in them.
#pragma once

#include <cstdio>
#include <string>

#include <string_view>

// The row's text with each other character made '_'; an empty text is "Empty".
inline std::string paramName(std::string_view text) {
    std::string name(text);
    for (char &c : name)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) c = '_';
    // Digits alone would read as the row's index.
    if (name.find_first_not_of("0123456789") == std::string::npos)
        return name.empty() ? "Empty" : "Value" + name;
    return name;
}

// A number in a name: "12", "Minus1_5", "1e19", "5_42101086242752eMinus20", "nan"; a value that
// was a float reads better with 6 digits.
inline std::string paramNumber(double value, int digits = 15) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.*g", digits, value);

    std::string name;
    for (const char *c = text; *c; ++c) {
        if (*c == '-')
            name += "Minus";
        else if (*c != '+')
            name += *c;
    }
    return paramName(name);
}

// An input text in a name, its signs and separators spelled out so that texts differing only in
// them stay apart: "-1.5e3" is "Minus1Dot5e3".
inline std::string paramText(std::string_view text) {
    std::string name;
    for (char c : text) {
        switch (c) {
            case '-':
                name += "Minus";
                break;
            case '+':
                name += "Plus";
                break;
            case '.':
                name += "Dot";
                break;
            case ',':
                name += "Comma";
                break;
            case '?':
                name += "Query";
                break;
            default:
                name += c;
        }
    }
    return paramName(name);
}
