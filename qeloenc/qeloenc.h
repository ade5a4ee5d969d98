// The qeloenc module as its clients see it: the IEncrypt interface of the class Encrypt, the
// class and the type library. Clients create the object by ProgID ("QeloEnc.Encrypt" or
// "QeloEnc.Encrypt.1") and call it through IDispatch or this interface.
#pragma once

#include "com/com.h"

// Failures are S_FALSE with *retVal left as the caller passed it, never an error HRESULT: a
// value that is no string, or a hash key that is not 16 or more hexadecimal digits giving an
// 8-byte key that is no weak DES key. E_POINTER for null pointers, E_OUTOFMEMORY when memory
// runs out.
struct IEncrypt : IDispatch {
  static constexpr IID kIid = com::MakeGuid("{943D9394-CF25-4F45-A8E8-5678DA493FD8}");
  // DES-ECB with PKCS #5 padding of the text's code page 949 bytes, as one Base64 line.
  virtual HRESULT DesEncrypt(VARIANT* pVal, VARIANT* retVal) = 0;  // 1
  // Keeps the first 40 bytes (code page 949) of a string; S_FALSE for anything else.
  virtual HRESULT put_setHashKey(VARIANT* newVal) = 0;  // 2
  virtual HRESULT get_getHashKey(VARIANT* pVal) = 0;    // 3
};

inline constexpr CLSID CLSID_Encrypt = com::MakeGuid("{162B352B-CA08-49D4-A025-BA92D90DC6AD}");
inline constexpr GUID LIBID_QELOENCLib = com::MakeGuid("{971F541A-8668-4A65-B80F-1E022300C0B8}");
