#include "probe.h"

#include <cstdio>
#include <cstring>

namespace {

const com::Member kProbeMembers[] = {
    com::Method<&IProbe::Echo>(1, "Echo", "method Echo", {com::In("text"), com::RetVal("result")}),
    com::Method<&IProbe::Twice>(2, "Twice", "method Twice",
                                {com::In("handle", VT_INT), com::RetVal("result")}),
    com::Method<&IProbe::Describe>(
        3, "Describe", "method Describe",
        {com::In("number"), com::In("real"), com::In("flag"), com::RetVal("result")}),
    com::Method<&IProbe::Fill>(4, "Fill", "method Fill", {com::In("text"), com::Out("target")}),
    com::PropertyPut<&IProbe::put_Key>(5, "Key", "property Key", {com::In("value")}),
    com::PropertyGet<&IProbe::get_Key>(5, "Key", "property Key", {com::RetVal("value")}),
    com::Method<&IProbe::Fail>(6, "Fail", "method Fail"),
};

}  // namespace

const com::DispatchTable Probe::kDispatch{IProbe::kIid, "IProbe", "IProbe Interface",
                                          kProbeMembers};

HRESULT Probe::Echo(BSTR text, BSTR* result) {
  *result = SysAllocStringLen(text, SysStringLen(text));
  return S_OK;
}

HRESULT Probe::Twice(int32_t* handle, int32_t* result) {
  *result = *handle * 2;
  return S_OK;
}

HRESULT Probe::Describe(int32_t number, double real, VARIANT_BOOL flag, BSTR* result) {
  char text[64];
  std::snprintf(text, sizeof text, "%d|%g|%s", number, real,
                flag == VARIANT_TRUE    ? "true"
                : flag == VARIANT_FALSE ? "false"
                                        : "?");
  *result = com::Bstr(std::u16string(text, text + std::strlen(text))).Detach();
  return S_OK;
}

HRESULT Probe::Fill(BSTR text, VARIANT* target) {
  com::Variant(std::u16string(com::View(text)) + u"!").MoveTo(target);
  return S_OK;
}

HRESULT Probe::put_Key(VARIANT* value) {
  if (value->vt != VT_BSTR) return S_FALSE;
  return key_.CopyFrom(*value);
}

HRESULT Probe::get_Key(VARIANT* value) { return VariantCopy(value, &key_); }

HRESULT Probe::Fail() {
  com::PostErrorInfo(IProbe::kIid, u"Probe", u"probe failed");
  return E_FAIL;
}
