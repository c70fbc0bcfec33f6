#include "platform/win/Dispatch.h"

namespace quenlor::win {

Variant Variant::fromString(const std::wstring& s) {
    Variant v;
    v.m_v.vt = VT_BSTR;
    v.m_v.bstrVal = SysAllocStringLen(s.data(), UINT(s.size()));
    return v;
}

Variant Variant::fromInt(long long value) {
    Variant v;
    if (value >= LONG_MIN && value <= LONG_MAX) {
        v.m_v.vt = VT_I4;
        v.m_v.lVal = LONG(value);
    } else {
        v.m_v.vt = VT_R8;
        v.m_v.dblVal = double(value);
    }
    return v;
}

Variant Variant::fromDouble(double value) {
    Variant v;
    v.m_v.vt = VT_R8;
    v.m_v.dblVal = value;
    return v;
}

Variant Variant::fromBool(bool value) {
    Variant v;
    v.m_v.vt = VT_BOOL;
    v.m_v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

Variant Variant::null() {
    Variant v;
    v.m_v.vt = VT_NULL;
    return v;
}

Variant Variant::fromDispatch(IDispatch* d) {
    Variant v;
    v.m_v.vt = VT_DISPATCH;
    v.m_v.pdispVal = d;
    if (d)
        d->AddRef();
    return v;
}

std::wstring variantText(const VARIANT& v) {
    if (v.vt == VT_BSTR)
        return v.bstrVal ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) : std::wstring();
    VARIANT text;
    VariantInit(&text);
    std::wstring out;
    if (SUCCEEDED(VariantChangeType(&text, const_cast<VARIANT*>(&v), VARIANT_ALPHABOOL, VT_BSTR)) &&
        text.bstrVal)
        out.assign(text.bstrVal, SysStringLen(text.bstrVal));
    VariantClear(&text);
    return out;
}

DispatchError dispatchErrorFor(HRESULT hr, const EXCEPINFO* info) {
    switch (hr) {
    case CO_E_CLASSSTRING:
    case REGDB_E_CLASSNOTREG:
    case CLASS_E_CLASSNOTAVAILABLE:
        return {kCannotCreateObject, L"ActiveX \u90E8\u4EF6\u4E0D\u80FD\u521B\u5EFA\u5BF9\u8C61"};
    case DISP_E_UNKNOWNNAME:
    case DISP_E_MEMBERNOTFOUND:
        return {kNoSuchMember,
                L"\u5BF9\u8C61\u4E0D\u652F\u6301\u8BE5\u5C5E\u6027\u6216\u65B9\u6CD5"};
    default:
        break;
    }
    // A component's own error (facility "control") carries its number in the low word, as the
    // runtime reports it; its text comes from the error object the component left, if any.
    if (HRESULT_FACILITY(hr) == FACILITY_CONTROL) {
        std::wstring text;
        IErrorInfo* errorInfo = nullptr;
        if (GetErrorInfo(0, &errorInfo) == S_OK && errorInfo) {
            BSTR description = nullptr;
            if (SUCCEEDED(errorInfo->GetDescription(&description)) && description)
                text.assign(description, SysStringLen(description));
            SysFreeString(description);
            errorInfo->Release();
        }
        return {long(HRESULT_CODE(hr)), text.empty() ? kAutomationErrorText : text};
    }
    if (hr == DISP_E_EXCEPTION && info) {
        long code = info->scode ? long(info->scode) : long(info->wCode);
        if (info->scode && HRESULT_FACILITY(info->scode) == FACILITY_CONTROL)
            code = long(HRESULT_CODE(info->scode));
        std::wstring text =
            info->bstrDescription
                ? std::wstring(info->bstrDescription, SysStringLen(info->bstrDescription))
                : std::wstring();
        if (text.empty())
            text = kAutomationErrorText;
        return {code, text};
    }
    return {long(hr), kAutomationErrorText};
}

Variant invoke(IDispatch* object, const std::wstring& member, WORD flags,
               const std::vector<Variant>& args) {
    if (!object)
        throw DispatchError{
            kNoObject, L"\u5BF9\u8C61\u53D8\u91CF\u6216 With \u5757\u53D8\u91CF\u672A\u8BBE\u7F6E"};
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(member.c_str());
    HRESULT hr = object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr))
        throw dispatchErrorFor(hr);

    // IDispatch takes its arguments last first.
    std::vector<VARIANT> reversed(args.size());
    for (size_t i = 0; i < args.size(); ++i)
        reversed[args.size() - 1 - i] = *args[i].get();
    DISPPARAMS params{};
    params.rgvarg = reversed.empty() ? nullptr : reversed.data();
    params.cArgs = UINT(reversed.size());
    DISPID named = DISPID_PROPERTYPUT;
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        params.rgdispidNamedArgs = &named;
        params.cNamedArgs = 1;
    }
    Variant result;
    EXCEPINFO info{};
    UINT badArg = 0;
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.get(), &info,
                        &badArg);
    if (FAILED(hr)) {
        const DispatchError error = dispatchErrorFor(hr, &info);
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
        throw error;
    }
    return result;
}

IDispatch* createByProgId(const std::wstring& progId) {
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(progId.c_str(), &clsid);
    if (FAILED(hr))
        throw dispatchErrorFor(hr);
    IDispatch* object = nullptr;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                          reinterpret_cast<void**>(&object));
    if (FAILED(hr))
        throw dispatchErrorFor(hr);
    return object;
}

} // namespace quenlor::win
