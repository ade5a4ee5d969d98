#include "sms_client.h"

namespace {

const com::Member kMembers[] = {
    com::Method<&ISMSClient2::OpenConnection>(
        1, "OpenConnection", "method OpenConnection",
        {com::In("bstrUserID"), com::In("bstrUserID2"), com::In("bstrPassword")}),
    com::Method<&ISMSClient2::ShutdownConnection>(2, "ShutdownConnection",
                                                  "method ShutdownConnection"),
    com::Method<&ISMSClient2::SendMessage>(
        3, "SendMessage", "method SendMessage",
        {com::In("bstrSendPhone"), com::In("bstrReceivePhone"), com::In("bstrMessage"),
         com::In("bstrReserve"), com::In("lTimeout"), com::Out("lResult")}),
    com::Method<&ISMSClient2::SendMessageWithPolling>(
        4, "SendMessageWithPolling", "method SendMessageWithPolling",
        {com::In("bstrSendPhone"), com::In("bstrReceivePhone"), com::In("bstrMessage"),
         com::In("bstrReserve"), com::In("lTimeout"), com::In("bstrPollingURL"),
         com::Out("lResult")}),
    com::Method<&ISMSClient2::OpenExcel>(5, "OpenExcel", "method OpenExcel",
                                         {com::In("bstrExcelPath")}),
    com::Method<&ISMSClient2::SendExcelMessageWithPolling>(
        6, "SendExcelMessageWithPolling", "method SendExcelMessageWithPolling",
        {com::Out("vSendPhone"), com::Out("vReceivePhone"), com::In("bstrMessage"),
         com::In("bstrReserve"), com::In("lTimeout"), com::In("bstrPollingURL"),
         com::Out("lResult")}),
    com::Method<&ISMSClient2::CloseExcel>(7, "CloseExcel", "method CloseExcel"),
};

// Sets an [out] VARIANT to the text as VT_BSTR; an empty text gives an empty BSTR.
void SetText(VARIANT* out, const std::string& text) {
  if (!out) return;
  com::Variant value(com::Bstr::FromCp949(text));
  if (value.bstrVal == nullptr) value.bstrVal = SysAllocString(u"");
  value.MoveTo(out);
}

HRESULT Outcome(const std::string& messageId) { return messageId.empty() ? S_FALSE : S_OK; }

}  // namespace

const com::DispatchTable SMSClient2::kDispatch{ISMSClient2::kIid, "ISMSClient2",
                                               "ISMSClient Interface", kMembers};

HRESULT SMSClient2::OpenConnection(BSTR bstrUserID, BSTR bstrUserID2, BSTR bstrPassword) {
  try {
    return sender_.Connect(com::ToCp949(bstrUserID), com::ToCp949(bstrUserID2),
                           com::ToCp949(bstrPassword))
               ? S_OK
               : S_FALSE;
  } catch (...) {
    return S_FALSE;
  }
}

HRESULT SMSClient2::ShutdownConnection() {
  try {
    sender_.Disconnect();
  } catch (...) {
    // Nothing to tell the script: the connection is gone either way.
  }
  return S_OK;
}

HRESULT SMSClient2::SendMessage(BSTR bstrSendPhone, BSTR bstrReceivePhone, BSTR bstrMessage,
                                BSTR bstrReserve, int32_t lTimeout, VARIANT* lResult) {
  std::string messageId;
  try {
    messageId = sender_.SendMessage(com::ToCp949(bstrSendPhone), com::ToCp949(bstrReceivePhone),
                                    com::ToCp949(bstrMessage),
                                    ReservationFrom(com::ToCp949(bstrReserve)), lTimeout);
  } catch (...) {
    messageId.clear();
  }
  SetText(lResult, messageId);
  return Outcome(messageId);
}

HRESULT SMSClient2::SendMessageWithPolling(BSTR bstrSendPhone, BSTR bstrReceivePhone,
                                           BSTR bstrMessage, BSTR bstrReserve, int32_t lTimeout,
                                           BSTR bstrPollingURL, VARIANT* lResult) {
  std::string messageId;
  try {
    messageId = sender_.SendMessageWithPolling(
        com::ToCp949(bstrSendPhone), com::ToCp949(bstrReceivePhone), com::ToCp949(bstrMessage),
        ReservationFrom(com::ToCp949(bstrReserve)), lTimeout, com::ToCp949(bstrPollingURL));
  } catch (...) {
    messageId.clear();
  }
  SetText(lResult, messageId);
  return Outcome(messageId);
}

HRESULT SMSClient2::OpenExcel(BSTR bstrExcelPath) {
  try {
    return sender_.OpenExcel(com::ToCp949(bstrExcelPath)) ? S_OK : S_FALSE;
  } catch (...) {
    return S_FALSE;
  }
}

HRESULT SMSClient2::SendExcelMessageWithPolling(VARIANT* vSendPhone, VARIANT* vReceivePhone,
                                                BSTR bstrMessage, BSTR bstrReserve,
                                                int32_t lTimeout, BSTR bstrPollingURL,
                                                VARIANT* lResult) {
  std::string sendPhone;
  std::string receivePhone;
  std::string messageId;
  try {
    messageId = sender_.SendExcelMessageWithPolling(
        sendPhone, receivePhone, com::ToCp949(bstrMessage),
        ReservationFrom(com::ToCp949(bstrReserve)), lTimeout, com::ToCp949(bstrPollingURL));
  } catch (...) {
    sendPhone.clear();
    receivePhone.clear();
    messageId.clear();
  }
  SetText(vSendPhone, sendPhone);
  SetText(vReceivePhone, receivePhone);
  SetText(lResult, messageId);
  return Outcome(messageId);
}

HRESULT SMSClient2::CloseExcel() {
  try {
    sender_.CloseExcel();
  } catch (...) {
    // As ShutdownConnection: closing has no failure to report.
  }
  return S_OK;
}
