#include "platform/win/com32/Host.h"

#include "platform/win/com32/HostProtocol.h"

#include <cstdlib>
#include <cwchar>

namespace quenlor::win {

namespace {

using hostproto::escape;
using hostproto::split;
using hostproto::unescape;

constexpr WORD kRead = DISPATCH_PROPERTYGET | DISPATCH_METHOD;

std::string failure(long number, const std::wstring& description) {
    return "err\t" + std::to_string(number) + "\t" + escape(wideToUtf8(description));
}

} // namespace

Host::~Host() {
    for (auto& [id, d] : m_objects)
        d->Release();
}

std::string Host::encode(const Variant& value) {
    const VARIANT& v = *value.get();
    switch (v.vt) {
    case VT_EMPTY:
        return "e";
    case VT_NULL:
        return "n";
    case VT_BOOL:
        return v.boolVal ? "b:1" : "b:0";
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UINT:
    case VT_I8:
    case VT_UI8: {
        Variant wide;
        VariantChangeType(wide.get(), const_cast<VARIANT*>(&v), 0, VT_I8);
        return "i:" + std::to_string(wide.get()->llVal);
    }
    case VT_R4:
    case VT_R8: {
        Variant d;
        VariantChangeType(d.get(), const_cast<VARIANT*>(&v), 0, VT_R8);
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.17g", d.get()->dblVal);
        return std::string("d:") + buffer;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN: {
        IDispatch* d = nullptr;
        if (v.vt == VT_DISPATCH)
            d = v.pdispVal;
        else if (v.punkVal)
            v.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d));
        if (!d)
            return "o:0";
        if (v.vt == VT_DISPATCH)
            d->AddRef();
        const long id = m_next++;
        m_objects[id] = d;
        return "o:" + std::to_string(id);
    }
    default:
        return "s:" + escape(wideToUtf8(variantText(v)));
    }
}

Variant Host::decode(const std::string& field) const {
    if (field == "e" || field.empty())
        return Variant();
    if (field == "n")
        return Variant::null();
    const std::string body = field.size() > 2 ? field.substr(2) : std::string();
    switch (field[0]) {
    case 's':
        return Variant::fromString(utf8ToWide(unescape(body)));
    case 'i':
        return Variant::fromInt(std::strtoll(body.c_str(), nullptr, 10));
    case 'd':
        return Variant::fromDouble(std::strtod(body.c_str(), nullptr));
    case 'b':
        return Variant::fromBool(body == "1");
    case 'o':
        return Variant::fromDispatch(object(body));
    default:
        return Variant::fromString(utf8ToWide(unescape(field)));
    }
}

IDispatch* Host::object(const std::string& handleField) const {
    const std::string digits =
        handleField.rfind("o:", 0) == 0 ? handleField.substr(2) : handleField;
    const auto it = m_objects.find(std::strtol(digits.c_str(), nullptr, 10));
    return it == m_objects.end() ? nullptr : it->second;
}

std::string Host::handle(const std::string& line) {
    const std::vector<std::string> f = split(line);
    const std::string& verb = f[0];
    try {
        if (verb == "create" && f.size() >= 2) {
            IDispatch* d = createByProgId(utf8ToWide(unescape(f[1])));
            const long id = m_next++;
            m_objects[id] = d;
            return "ok\to:" + std::to_string(id);
        }
        if (verb == "release" && f.size() >= 2) {
            const long id = std::strtol(f[1].c_str(), nullptr, 10);
            if (auto it = m_objects.find(id); it != m_objects.end()) {
                it->second->Release();
                m_objects.erase(it);
            }
            return "ok\te";
        }
        if ((verb == "get" || verb == "call" || verb == "put") && f.size() >= 3) {
            IDispatch* target = object(f[1]);
            if (!target)
                return failure(kNoObject, L"\u5BF9\u8C61\u53D8\u91CF\u6216 With \u5757\u53D8\u91CF"
                                          L"\u672A\u8BBE\u7F6E");
            const std::wstring member = utf8ToWide(unescape(f[2]));
            std::vector<Variant> args;
            for (size_t i = 3; i < f.size(); ++i)
                args.push_back(decode(f[i]));
            if (verb == "put") {
                const bool byRef = !args.empty() && args.back().get()->vt == VT_DISPATCH;
                invoke(target, member, byRef ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT,
                       args);
                return "ok\te";
            }
            const Variant result =
                invoke(target, member, verb == "get" ? kRead : WORD(DISPATCH_METHOD | kRead), args);
            return "ok\t" + encode(result);
        }
        return failure(kAutomationOther, kAutomationErrorText);
    } catch (const DispatchError& e) {
        return failure(e.number, e.description);
    }
}

} // namespace quenlor::win
