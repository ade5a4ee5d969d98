// A script's view of the payment module: the module copied into a directory of its own (with
// a log directory beside it), registered by the real registrar into a temporary registry
// store, and the object created by its ProgID and called by name, as a script host does.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "com/com.h"

class PaymentModule : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Calls `method` by name with the handle by reference (VT_INT | VT_BYREF) and the texts.
  HRESULT Call(const char16_t* method, int32_t handle, std::initializer_list<std::u16string> texts,
               VARIANT* result = nullptr);
  int32_t Initialize();
  void SetField(int32_t handle, const std::u16string& name, const std::u16string& value);
  std::u16string GetResult(int32_t handle, const std::u16string& name);
  std::string ReadLog(const std::string& type, const std::string& mid) const;

  std::filesystem::path directory_;  // holds the module, its log/ and the registry store
  std::string module_;
  com::ComPtr<IDispatch> object_;
};
