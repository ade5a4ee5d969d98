// Table-driven IDispatch: name lookup, argument binding, and the script-host side helper Call.
#include <algorithm>
#include <vector>

#include "com/com.h"
#include "com/internal.h"

namespace com {

namespace {

// Member names are ASCII; a name with any other character matches none.
bool NameMatches(const char* name, const OLECHAR* candidate) {
  for (; *name && *candidate; ++name, ++candidate) {
    if (*candidate > 0x7F) return false;
    if (internal::Fold(*name) != internal::Fold(static_cast<char>(*candidate))) return false;
  }
  return *name == '\0' && *candidate == u'\0';
}

bool IsMissing(const VARIANT& v) { return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND; }

// Fills *exception from a failed method and the error info it may have posted.
void DescribeFailure(HRESULT failure, EXCEPINFO* exception) {
  ComPtr<IErrorInfo> info;
  const bool posted = GetErrorInfo(0, info.Receive()) == S_OK && info;
  if (!exception) return;
  *exception = EXCEPINFO{};
  exception->scode = failure;
  if (posted) {
    info->GetSource(&exception->bstrSource);
    info->GetDescription(&exception->bstrDescription);
    info->GetHelpFile(&exception->bstrHelpFile);
    info->GetHelpContext(&exception->dwHelpContext);
  }
}

}  // namespace

const Member* DispatchTable::Find(DISPID dispid, uint16_t flags) const {
  // PUTREF is served by the put: there is no object-reference property here.
  if (flags & DISPATCH_PROPERTYPUTREF) flags |= DISPATCH_PROPERTYPUT;
  for (const Member& m : members)
    if (m.dispid == dispid && (static_cast<uint16_t>(m.kind) & flags)) return &m;
  return nullptr;
}

HRESULT DispatchTable::GetIDsOfNames(const IID& riid, OLECHAR** names, uint32_t count,
                                     DISPID* ids) const {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  if (count == 0) return S_OK;
  if (!names || !ids) return E_INVALIDARG;
  for (uint32_t i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  if (!names[0]) return DISP_E_UNKNOWNNAME;
  for (const Member& m : members) {
    if (NameMatches(m.name, names[0])) {
      ids[0] = m.dispid;
      return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
  }
  return DISP_E_UNKNOWNNAME;
}

HRESULT DispatchTable::Invoke(IDispatch* self, DISPID dispid, const IID& riid, uint16_t flags,
                              DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                              uint32_t* argumentError) const {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  if (!params || (params->cArgs > 0 && !params->rgvarg) || params->cNamedArgs > params->cArgs ||
      (params->cNamedArgs > 0 && !params->rgdispidNamedArgs))
    return E_INVALIDARG;
  const Member* member = Find(dispid, flags);
  if (!member) return DISP_E_MEMBERNOTFOUND;
  if (member->kind == MemberKind::PropertyPut) {
    if (params->cNamedArgs > 1 ||
        (params->cNamedArgs == 1 && params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
      return DISP_E_PARAMNOTFOUND;
  } else if (params->cNamedArgs > 0) {
    return DISP_E_NONAMEDARGS;
  }
  if (params->cArgs != member->ArgumentCount()) return DISP_E_BADPARAMCOUNT;

  Invocation call(*member, *params, argumentError);
  SetErrorInfo(0, nullptr);  // what the method posts, not what an earlier call left
  HRESULT hr;
  try {
    hr = member->thunk(self, call);
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  } catch (...) {
    hr = E_UNEXPECTED;
  }
  if (!call.Bound()) return hr;  // an argument did not bind; the method did not run
  if (FAILED(hr)) {
    DescribeFailure(hr, exception);
    return DISP_E_EXCEPTION;
  }
  if (result) *result = call.Result().Detach();
  return hr;
}

// Positional arguments come last-first; a property put's value is the named argument in
// rgvarg[0] and the last parameter.
const VARIANT& Invocation::Argument(size_t i) const {
  const size_t count = params_.cArgs;
  if (member_.kind == MemberKind::PropertyPut && params_.cNamedArgs == 1) {
    if (i + 1 == count) return params_.rgvarg[0];
    return params_.rgvarg[count - 1 - i];
  }
  return params_.rgvarg[count - 1 - i];
}

HRESULT Invocation::Fail(size_t i, HRESULT hr) {
  if (argumentError_) {
    const VARIANT* at = &Argument(i);
    *argumentError_ = static_cast<uint32_t>(at - params_.rgvarg);
  }
  return hr;
}

HRESULT Invocation::Coerce(size_t i, Coerced& out) {
  const VARIANT& argument = Argument(i);
  HRESULT hr = internal::Dereference(argument, out.view);
  if (FAILED(hr)) return Fail(i, hr == DISP_E_BADVARTYPE ? hr : DISP_E_TYPEMISMATCH);
  if (IsMissing(out.view)) return Fail(i, DISP_E_PARAMNOTOPTIONAL);
  if (out.view.vt == ParamType(i)) {
    out.value = &out.view;
    return S_OK;
  }
  hr = VariantChangeType(&out.owned, &out.view, VARIANT_ALPHABOOL, ParamType(i));
  if (FAILED(hr))
    return Fail(i, hr == E_OUTOFMEMORY || hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH);
  out.value = &out.owned;
  return S_OK;
}

HRESULT Invocation::View(size_t i, VARIANT& view, VARIANT*& out) {
  const VARIANT& argument = Argument(i);
  if (argument.vt == (VT_VARIANT | VT_BYREF)) {
    // The caller's own variable; a reference to a reference is read through.
    if (!argument.pvarVal) return Fail(i, DISP_E_TYPEMISMATCH);
    if (!(argument.pvarVal->vt & VT_BYREF)) {
      out = argument.pvarVal;
      return S_OK;
    }
  } else if (!(argument.vt & VT_BYREF)) {
    out = const_cast<VARIANT*>(&argument);
    return S_OK;
  }
  if (FAILED(internal::Dereference(argument, view))) return Fail(i, DISP_E_TYPEMISMATCH);
  out = &view;
  return S_OK;
}

VARIANT* Invocation::OutTarget(size_t i) {
  const VARIANT& argument = Argument(i);
  return argument.vt == (VT_VARIANT | VT_BYREF) ? argument.pvarVal : nullptr;
}

HRESULT Call(IDispatch* object, std::u16string_view name, uint16_t flags,
             std::initializer_list<VARIANT> args, VARIANT* result, EXCEPINFO* exception,
             uint32_t* argumentError) {
  if (!object) return E_POINTER;
  std::u16string text(name);
  OLECHAR* names[] = {text.data()};
  DISPID dispid = DISPID_UNKNOWN;
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, 0, &dispid);
  if (FAILED(hr)) return hr;
  std::vector<VARIANT> reversed(args.begin(), args.end());
  std::reverse(reversed.begin(), reversed.end());
  DISPID put = DISPID_PROPERTYPUT;
  const bool isPut = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
  DISPPARAMS params{reversed.data(), isPut && !reversed.empty() ? &put : nullptr,
                    static_cast<uint32_t>(reversed.size()), isPut && !reversed.empty() ? 1u : 0u};
  return object->Invoke(dispid, IID_NULL, 0, flags, &params, result, exception, argumentError);
}

}  // namespace com
