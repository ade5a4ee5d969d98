#include "orvtx41.h"

#include <new>

#include "acknowledgement.h"
#include "identifiers.h"
#include "transaction.h"

namespace {

const com::Member kMembers[] = {
    com::Method<&IORVtx41::Initialize>(1, "Initialize", "method Initialize",
                                       {com::In("pIn"), com::RetVal("nOut", VT_INT)}),
    com::Method<&IORVtx41::Destroy>(2, "Destroy", "method Destroy", {com::In("pIn", VT_INT)}),
    com::Method<&IORVtx41::SetField>(
        3, "SetField", "method SetField",
        {com::In("pIn", VT_INT), com::In("pName"), com::In("pValue")}),
    com::Method<&IORVtx41::SetActionType>(4, "SetActionType", "method SetActionType",
                                          {com::In("pIn", VT_INT), com::In("pType")}),
    com::Method<&IORVtx41::StartAction>(5, "StartAction", "method StartAction",
                                        {com::In("pIn", VT_INT)}),
    com::Method<&IORVtx41::GetResult>(
        6, "GetResult", "method GetResult",
        {com::In("pIn", VT_INT), com::In("pName"), com::RetVal("pOut")}),
    com::Method<&IORVtx41::Ack>(7, "Ack", "method Ack",
                                {com::In("pIn", VT_INT), com::RetVal("pOut")}),
    com::Method<&IORVtx41::GetIpAddr>(8, "GetIpAddr", "method GetIpAddr", {com::RetVal("pOut")}),
};

// Runs `body` on the handle's transaction, if it is live. Nothing a method does may escape
// as an exception; running out of memory is the one thing that can throw here.
template <typename Body>
HRESULT WithTransaction(const int32_t* handle, Body body) {
  try {
    if (!handle) return S_OK;
    if (const auto transaction = orv::Transactions().Find(*handle)) body(*transaction);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ReturnText(std::string_view cp949, BSTR* out) {
  if (!out) return E_POINTER;
  *out = com::AllocCp949(cp949);
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

const com::DispatchTable ORVtx41::kDispatch{IORVtx41::kIid, "IORVtx41", "IORVtx41 Interface",
                                            kMembers};

HRESULT ORVtx41::Initialize(BSTR, int32_t* nOut) {
  if (!nOut) return E_POINTER;
  try {
    *nOut = orv::Transactions().Initialize();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ORVtx41::Destroy(int32_t* pIn) {
  if (pIn) orv::Transactions().Destroy(*pIn);
  return S_OK;
}

HRESULT ORVtx41::SetField(int32_t* pIn, BSTR pName, BSTR pValue) {
  return WithTransaction(pIn, [&](orv::Transaction& t) {
    if (t.logFailed) return;
    t.fields.SetNamedField(com::ToCp949(pName), com::ToCp949(pValue));
  });
}

HRESULT ORVtx41::SetActionType(int32_t* pIn, BSTR pType) {
  return WithTransaction(
      pIn, [&](orv::Transaction& t) { t.fields.SetNamedField("type", com::ToCp949(pType)); });
}

HRESULT ORVtx41::StartAction(int32_t* pIn) {
  return WithTransaction(pIn, [](orv::Transaction& t) { orv::StartAction(t); });
}

HRESULT ORVtx41::GetResult(int32_t* pIn, BSTR pName, BSTR* pOut) {
  std::string value;
  const HRESULT hr = WithTransaction(
      pIn, [&](orv::Transaction& t) { value = t.fields.GetNamedResult(com::ToCp949(pName)); });
  return FAILED(hr) ? hr : ReturnText(value, pOut);
}

HRESULT ORVtx41::Ack(int32_t* pIn, BSTR* pOut) {
  int acknowledged = 0;
  const HRESULT hr =
      WithTransaction(pIn, [&](orv::Transaction& t) { acknowledged = orv::RunAcknowledgement(t); });
  return FAILED(hr) ? hr : ReturnText(acknowledged == 1 ? "SUCCESS" : "ERROR", pOut);
}

HRESULT ORVtx41::GetIpAddr(BSTR* pOut) {
  try {
    return ReturnText(orv::GetHostIpAddress(), pOut);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
