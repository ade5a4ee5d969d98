// VARIANT lifetime: init, clear, copy, and the by-reference views that the conversions and
// the dispatcher read through.
#include <cstring>

#include "com/com.h"
#include "com/internal.h"

namespace com::internal {

bool IsValueType(VARTYPE type) {
  switch (type) {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY:
    case VT_DATE: case VT_BSTR: case VT_DISPATCH: case VT_ERROR: case VT_BOOL: case VT_UNKNOWN:
    case VT_DECIMAL: case VT_UI1: case VT_UI4: case VT_INT:
      return true;
    default:
      return false;
  }
}

namespace {

// A VT_VARIANT | VT_BYREF chain longer than this is taken for a loop.
constexpr int kMaxReferenceDepth = 4;

// Copies the value that a typed reference points at into `view`, without taking ownership.
HRESULT ReadReference(const VARIANT& in, VARIANT& view) {
  const VARTYPE type = static_cast<VARTYPE>(in.vt & ~VT_BYREF);
  if (!IsValueType(type) || type == VT_EMPTY || type == VT_NULL) return DISP_E_BADVARTYPE;
  if (!in.byref) return E_INVALIDARG;
  view = VARIANT{};
  switch (type) {
    case VT_I2: case VT_BOOL: view.iVal = *in.piVal; break;
    case VT_I4: case VT_INT: case VT_UI4: case VT_ERROR: view.lVal = *in.plVal; break;
    case VT_UI1: view.bVal = *in.pbVal; break;
    case VT_R4: view.fltVal = *in.pfltVal; break;
    case VT_R8: case VT_DATE: view.dblVal = *in.pdblVal; break;
    case VT_CY: view.cyVal = *in.pcyVal; break;
    case VT_BSTR: view.bstrVal = *in.pbstrVal; break;
    case VT_DISPATCH: view.pdispVal = *in.ppdispVal; break;
    case VT_UNKNOWN: view.punkVal = *in.ppunkVal; break;
    case VT_DECIMAL: view.decVal = *in.pdecVal; break;
  }
  view.vt = type;
  return S_OK;
}

}  // namespace

HRESULT Dereference(const VARIANT& in, VARIANT& view) {
  const VARIANT* current = &in;
  for (int depth = 0; depth <= kMaxReferenceDepth; ++depth) {
    if (current->vt == (VT_VARIANT | VT_BYREF)) {
      if (!current->pvarVal) return E_INVALIDARG;
      current = current->pvarVal;
      continue;
    }
    if (current->vt & VT_BYREF) return ReadReference(*current, view);
    if (!IsValueType(current->vt)) return DISP_E_BADVARTYPE;
    view = *current;
    return S_OK;
  }
  return DISP_E_BADVARTYPE;
}

}  // namespace com::internal

void VariantInit(VARIANT* v) { v->vt = VT_EMPTY; }

HRESULT VariantClear(VARIANT* v) {
  if (!v) return E_INVALIDARG;
  if (!(v->vt & VT_BYREF)) {
    if (!com::internal::IsValueType(v->vt)) return DISP_E_BADVARTYPE;
    switch (v->vt) {
      case VT_BSTR: SysFreeString(v->bstrVal); break;
      case VT_DISPATCH: if (v->pdispVal) v->pdispVal->Release(); break;
      case VT_UNKNOWN: if (v->punkVal) v->punkVal->Release(); break;
    }
  }
  v->vt = VT_EMPTY;
  return S_OK;
}

namespace com::internal {

HRESULT CopyValue(VARIANT* dest, const VARIANT& src) {
  if (src.vt == VT_DECIMAL) {
    dest->decVal = src.decVal;
  } else {
    std::memcpy(static_cast<void*>(dest), &src, sizeof(VARIANT));
  }
  dest->vt = src.vt;
  switch (src.vt) {
    case VT_BSTR:
      if (src.bstrVal) {
        dest->bstrVal = SysAllocStringLen(src.bstrVal, SysStringLen(src.bstrVal));
        if (!dest->bstrVal) {
          dest->vt = VT_EMPTY;
          return E_OUTOFMEMORY;
        }
      }
      break;
    case VT_DISPATCH: if (dest->pdispVal) dest->pdispVal->AddRef(); break;
    case VT_UNKNOWN: if (dest->punkVal) dest->punkVal->AddRef(); break;
  }
  return S_OK;
}

}  // namespace com::internal

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (dest == src) return S_OK;
  const VARTYPE base = static_cast<VARTYPE>(src->vt & ~VT_BYREF);
  if (!com::internal::IsValueType(base) && src->vt != (VT_VARIANT | VT_BYREF))
    return DISP_E_BADVARTYPE;
  const HRESULT hr = VariantClear(dest);
  if (FAILED(hr)) return hr;
  if (src->vt & VT_BYREF) {
    *dest = *src;  // the reference itself
    return S_OK;
  }
  return com::internal::CopyValue(dest, *src);
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src) {
  if (!dest || !src) return E_INVALIDARG;
  VARIANT view;
  HRESULT hr = com::internal::Dereference(*src, view);
  if (FAILED(hr)) return hr;
  com::Variant copy;
  hr = com::internal::CopyValue(&copy, view);
  if (FAILED(hr)) return hr;
  copy.MoveTo(dest);
  return S_OK;
}

namespace com {

VARIANT ByRef(VARIANT& target) {
  VARIANT v{};
  v.vt = VT_VARIANT | VT_BYREF;
  v.pvarVal = &target;
  return v;
}

VARIANT ByRef(int32_t& target, VARTYPE type) {
  VARIANT v{};
  v.vt = static_cast<VARTYPE>(type | VT_BYREF);
  v.plVal = &target;
  return v;
}

VARIANT ByRef(BSTR& target) {
  VARIANT v{};
  v.vt = VT_BSTR | VT_BYREF;
  v.pbstrVal = &target;
  return v;
}

}  // namespace com
