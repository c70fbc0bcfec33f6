#pragma once

#include "platform/win/Dispatch.h"

#include <map>
#include <string>

namespace quenlor::win {

// The automation host's work: objects by handle, requests answered one line at a time.
class Host {
public:
    ~Host();
    // Answers one request line (without its line end).
    std::string handle(const std::string& line);

private:
    std::string encode(const Variant& v);
    Variant decode(const std::string& field) const;
    IDispatch* object(const std::string& handleField) const;

    std::map<long, IDispatch*> m_objects;
    long m_next = 1;
};

} // namespace quenlor::win
