// Linux declarations: automation strings and IDispatch (oleaut32), as far as the dual interfaces the
// code calls need them. Written from the documented API; included by platform/netfw.h.
#pragma once

typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
// A length-prefixed string from SysAllocString; the pointer is to its first character.
typedef OLECHAR* BSTR;
typedef short VARIANT_BOOL;
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

BSTR WINAPI SysAllocString(const OLECHAR* text);
void WINAPI SysFreeString(BSTR text);
UINT WINAPI SysStringLen(BSTR text);

typedef LONG DISPID;
struct ITypeInfo;
struct DISPPARAMS;
struct EXCEPINFO;

// Only the kinds the code passes; the union has the SDK's size.
typedef struct tagVARIANT
{
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;
        BSTR bstrVal;
        VARIANT_BOOL boolVal;
        struct
        {
            void* pvRecord;
            void* pRecInfo;
        } record;
    };
} VARIANT;
static_assert(sizeof(VARIANT) == 8 + 2 * sizeof(void*), "VARIANT layout");

struct IDispatch : IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                                    DISPID* ids) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID locale, WORD flags,
                                             DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                             UINT* argumentError) = 0;
};

extern const IID IID_IDispatch;
