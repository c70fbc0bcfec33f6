#include "platform/win/Dispatch.h"
#include "platform/win/WinPlatform.h"

#include <objbase.h>

namespace quenlor::win {

namespace {

const wchar_t* const kMoniker = L"winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2";
constexpr WORD kRead = DISPATCH_PROPERTYGET | DISPATCH_METHOD;

// COM for the calling thread, for as long as one call needs it.
class ComScope {
public:
    ComScope() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }

private:
    HRESULT m_hr;
};

template <typename T> struct Released {
    T* p = nullptr;
    ~Released() {
        if (p)
            p->Release();
    }
};

} // namespace

std::vector<ServiceRow> listServices() {
    ComScope com;
    try {
        Released<IDispatch> wmi;
        HRESULT hr =
            CoGetObject(kMoniker, nullptr, IID_IDispatch, reinterpret_cast<void**>(&wmi.p));
        if (FAILED(hr))
            throw dispatchErrorFor(hr);

        Variant set = invoke(wmi.p, L"ExecQuery", DISPATCH_METHOD,
                             {Variant::fromString(L"Select * from Win32_Service")});
        if (set.get()->vt != VT_DISPATCH || !set.get()->pdispVal)
            throw DispatchError{kNoObject, kAutomationErrorText};

        // Walk the set through its enumerator, in the order WMI returns it.
        Variant enumVar = invoke(set.get()->pdispVal, L"_NewEnum", kRead);
        IUnknown* unknown = enumVar.get()->vt == VT_UNKNOWN    ? enumVar.get()->punkVal
                            : enumVar.get()->vt == VT_DISPATCH ? enumVar.get()->pdispVal
                                                               : nullptr;
        if (!unknown)
            throw DispatchError{kNoObject, kAutomationErrorText};
        Released<IEnumVARIANT> items;
        hr = unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&items.p));
        if (FAILED(hr))
            throw dispatchErrorFor(hr);

        std::vector<ServiceRow> rows;
        for (;;) {
            Variant item;
            ULONG fetched = 0;
            if (items.p->Next(1, item.get(), &fetched) != S_OK || fetched == 0)
                break;
            if (item.get()->vt != VT_DISPATCH || !item.get()->pdispVal)
                continue;
            IDispatch* service = item.get()->pdispVal;
            rows.push_back({variantText(*invoke(service, L"DisplayName", kRead).get()),
                            variantText(*invoke(service, L"State", kRead).get())});
        }
        return rows;
    } catch (const DispatchError& e) {
        throw WinError{e.number, e.description};
    }
}

} // namespace quenlor::win
