#pragma once

// Late-bound calls through IDispatch, shared by the WMI service list and the automation host.

#include "platform/win/WinPlatform.h"

#include <ole2.h>
#include <windows.h>

#include <string>
#include <vector>

namespace quenlor::win {

// The automation runtime's numbers for the failures callers tell apart.
inline constexpr long kCannotCreateObject = 429;
inline constexpr long kNoSuchMember = 438;
inline constexpr long kNoObject = 91;
// Any other automation failure: the runtime's "automation error".
inline constexpr long kAutomationOther = 440;

// A failure of a late-bound call: the runtime's number (429, 438, 91 or the HRESULT) and text.
struct DispatchError {
    long number = 0;
    std::wstring description;
};

// Owns one VARIANT.
class Variant {
public:
    Variant() { VariantInit(&m_v); }
    ~Variant() { VariantClear(&m_v); }
    Variant(const Variant& other) {
        VariantInit(&m_v);
        VariantCopy(&m_v, const_cast<VARIANT*>(&other.m_v));
    }
    Variant& operator=(const Variant& other) {
        if (this != &other)
            VariantCopy(&m_v, const_cast<VARIANT*>(&other.m_v));
        return *this;
    }
    VARIANT* get() { return &m_v; }
    const VARIANT* get() const { return &m_v; }
    static Variant fromString(const std::wstring& s);
    static Variant fromInt(long long v);
    static Variant fromDouble(double v);
    static Variant fromBool(bool v);
    static Variant null();
    static Variant fromDispatch(IDispatch* d); // takes its own reference

private:
    VARIANT m_v;
};

// The text form of a VARIANT (numbers and booleans converted by the runtime).
std::wstring variantText(const VARIANT& v);

// Calls a member by name. Property reads use DISPATCH_PROPERTYGET together with DISPATCH_METHOD,
// as late binding does (and as some implementations require). Arguments in call order.
// Throws DispatchError.
Variant invoke(IDispatch* object, const std::wstring& member, WORD flags,
               const std::vector<Variant>& args = {});

// Creates an object by ProgID; throws DispatchError (429 when the class cannot be created).
IDispatch* createByProgId(const std::wstring& progId);

// Maps a failed HRESULT to the runtime's number and text.
DispatchError dispatchErrorFor(HRESULT hr, const EXCEPINFO* info = nullptr);

// The description of failures without a more specific number.
inline const std::wstring kAutomationErrorText = L"\u81EA\u52A8\u5316\u9519\u8BEF"; // 自动化错误

} // namespace quenlor::win
