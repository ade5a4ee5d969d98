// SMSClient2: the scriptable SMS client. A thin adapter: converts the script's arguments to code
// page 949, works out the reservation numbers and delegates to its CSMSSender. Every method
// answers S_OK or S_FALSE (ShutdownConnection and CloseExcel always S_OK); [out] VARIANTs are
// always set to VT_BSTR, empty when there is nothing to return; nothing is raised.
#pragma once

#include "com/com.h"
#include "sms_sender.h"

struct ISMSClient2 : IDispatch {
  static constexpr IID kIid = com::MakeGuid("{3526FEA7-0904-4ACC-85FA-4B94ADB87068}");
  virtual HRESULT OpenConnection(BSTR bstrUserID, BSTR bstrUserID2, BSTR bstrPassword) = 0;
  virtual HRESULT ShutdownConnection() = 0;
  virtual HRESULT SendMessage(BSTR bstrSendPhone, BSTR bstrReceivePhone, BSTR bstrMessage,
                              BSTR bstrReserve, int32_t lTimeout, VARIANT* lResult) = 0;
  virtual HRESULT SendMessageWithPolling(BSTR bstrSendPhone, BSTR bstrReceivePhone,
                                         BSTR bstrMessage, BSTR bstrReserve, int32_t lTimeout,
                                         BSTR bstrPollingURL, VARIANT* lResult) = 0;
  virtual HRESULT OpenExcel(BSTR bstrExcelPath) = 0;
  virtual HRESULT SendExcelMessageWithPolling(VARIANT* vSendPhone, VARIANT* vReceivePhone,
                                              BSTR bstrMessage, BSTR bstrReserve,
                                              int32_t lTimeout, BSTR bstrPollingURL,
                                              VARIANT* lResult) = 0;
  virtual HRESULT CloseExcel() = 0;

 protected:
  ~ISMSClient2() = default;
};

inline constexpr CLSID CLSID_SMSClient2 =
    com::MakeGuid("{C8EB6851-7F3A-4329-919E-37171919AAC9}");
inline constexpr GUID LIBID_TEXTWELLCOMLib =
    com::MakeGuid("{30594DB4-4E11-4951-B318-03C112F8DCE8}");

class SMSClient2 final : public com::Object<SMSClient2, ISMSClient2> {
 public:
  static constexpr bool kAggregatable = true;
  static constexpr bool kSupportsErrorInfo = true;
  static const com::DispatchTable kDispatch;

  HRESULT OpenConnection(BSTR bstrUserID, BSTR bstrUserID2, BSTR bstrPassword) override;
  HRESULT ShutdownConnection() override;
  HRESULT SendMessage(BSTR bstrSendPhone, BSTR bstrReceivePhone, BSTR bstrMessage,
                      BSTR bstrReserve, int32_t lTimeout, VARIANT* lResult) override;
  HRESULT SendMessageWithPolling(BSTR bstrSendPhone, BSTR bstrReceivePhone, BSTR bstrMessage,
                                 BSTR bstrReserve, int32_t lTimeout, BSTR bstrPollingURL,
                                 VARIANT* lResult) override;
  HRESULT OpenExcel(BSTR bstrExcelPath) override;
  HRESULT SendExcelMessageWithPolling(VARIANT* vSendPhone, VARIANT* vReceivePhone,
                                      BSTR bstrMessage, BSTR bstrReserve, int32_t lTimeout,
                                      BSTR bstrPollingURL, VARIANT* lResult) override;
  HRESULT CloseExcel() override;

 private:
  CSMSSender sender_;
};
