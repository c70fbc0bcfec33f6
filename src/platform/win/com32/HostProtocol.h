#pragma once

// The line protocol between the program and its automation host. One request per line, one
// answer per line, UTF-8, fields separated by TAB. Texts escape "\\", TAB, CR and LF.
//
//   create <ProgID>                    -> ok o:<handle>
//   get    <handle> <member> <arg>...  -> ok <value>
//   put    <handle> <member> <value>   -> ok e
//   call   <handle> <member> <arg>...  -> ok <value>
//   release <handle>                   -> ok e
//   failure of any request             -> err <number> <description>
//
// Values: "e" empty, "n" null, "s:<text>", "i:<integer>", "d:<number>", "b:0" / "b:1",
// "o:<handle>" (an object of the host; handle 0 is no object).
//
// Written in plain C++ so both sides (the Win32 host and the Qt program) share it.

#include <string>
#include <vector>

namespace quenlor::hostproto {

inline std::string escape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

inline std::string unescape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char n = text[++i];
        out += n == 't' ? '\t' : n == 'n' ? '\n' : n == 'r' ? '\r' : n;
    }
    return out;
}

// Splits a line at TABs (the fields themselves are escaped, so hold no TAB).
inline std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> fields;
    std::string current;
    for (char c : line) {
        if (c == '\t') {
            fields.push_back(current);
            current.clear();
        } else if (c != '\r' && c != '\n') {
            current += c;
        }
    }
    fields.push_back(current);
    return fields;
}

} // namespace quenlor::hostproto
