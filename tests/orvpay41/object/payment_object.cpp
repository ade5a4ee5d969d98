#include "payment_object.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "identifiers.h"

namespace fs = std::filesystem;

void PaymentModule::SetUp() {
  std::string pattern = (fs::temp_directory_path() / "orvpay41_XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  directory_ = pattern;
  fs::create_directory(directory_ / "log");
  module_ = (directory_ / "liborvpay41.so").string();
  fs::copy_file(ORVPAY41_MODULE_PATH, module_);
  setenv("COM_REGISTRY_FILE", (directory_ / "registry.reg").c_str(), 1);
  const std::string command = std::string(COMREG_PATH) + " " + module_ + " >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);

  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(u"ORVtx41.ORVtx41", &clsid), S_OK);
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                             object_.ReceiveVoid()),
            S_OK);
}

void PaymentModule::TearDown() {
  object_.Reset();
  CoFreeUnusedLibraries();
  unsetenv("COM_REGISTRY_FILE");
  fs::remove_all(directory_);
}

HRESULT PaymentModule::Call(const char16_t* method, int32_t handle,
                            std::initializer_list<std::u16string> texts, VARIANT* result) {
  std::vector<com::Variant> args;
  for (const std::u16string& text : texts) args.emplace_back(text);
  VARIANT byRef = com::ByRef(handle, VT_INT);
  switch (args.size()) {
    case 0: return com::Call(object_.Get(), method, DISPATCH_METHOD, {byRef}, result);
    case 1: return com::Call(object_.Get(), method, DISPATCH_METHOD, {byRef, args[0]}, result);
    default:
      return com::Call(object_.Get(), method, DISPATCH_METHOD, {byRef, args[0], args[1]}, result);
  }
}

int32_t PaymentModule::Initialize() {
  com::Variant handle;
  EXPECT_EQ(com::Call(object_.Get(), u"Initialize", DISPATCH_METHOD, {com::Variant(u"")},
                      &handle),
            S_OK);
  return handle.intVal;
}

void PaymentModule::SetField(int32_t handle, const std::u16string& name,
                             const std::u16string& value) {
  EXPECT_EQ(Call(u"SetField", handle, {name, value}), S_OK);
}

std::u16string PaymentModule::GetResult(int32_t handle, const std::u16string& name) {
  com::Variant result;
  EXPECT_EQ(Call(u"GetResult", handle, {name}, &result), S_OK);
  EXPECT_EQ(result.vt, VT_BSTR);
  return std::u16string(com::View(result.bstrVal));
}

std::string PaymentModule::ReadLog(const std::string& type, const std::string& mid) const {
  const fs::path path = directory_ / "log" /
                        ("ORV" + type + "_" + mid + "_" +
                         orv::GetTimeStamp(orv::StampFormat::FileDate) + ".log");
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}
