// Table-driven dispatch, seen from a script host: names, argument coercion, out parameters,
// properties, failures, aggregation and the module lock count.
#include <gtest/gtest.h>

#include "probe.h"

namespace {

com::ComPtr<IDispatch> NewProbe() {
  com::ComPtr<IDispatch> probe;
  EXPECT_EQ(com::CreateInstance<Probe>(nullptr, IID_IDispatch, probe.ReceiveVoid()), S_OK);
  return probe;
}

VARIANT Value(VARTYPE vt, int32_t n) {
  VARIANT v{};
  v.vt = vt;
  v.lVal = n;
  return v;
}

TEST(Dispatch, NamesWithoutRegardToCase) {
  com::ComPtr<IDispatch> probe = NewProbe();
  struct Case {
    std::u16string name;
    HRESULT hr;
    DISPID dispid;
  };
  const Case cases[] = {
      {u"Echo", S_OK, 1},      {u"ECHO", S_OK, 1},   {u"twice", S_OK, 2},
      {u"kEY", S_OK, 5},       {u"Echo2", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
      {u"Ech", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN}, {u"", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
      {u"Échо", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
  };
  for (const Case& c : cases) {
    std::u16string name = c.name;
    OLECHAR* names[] = {name.data()};
    DISPID dispid = 0;
    EXPECT_EQ(probe->GetIDsOfNames(IID_NULL, names, 1, 0, &dispid), c.hr);
    EXPECT_EQ(dispid, c.dispid);
  }
  std::u16string method = u"Echo", parameter = u"text";
  OLECHAR* two[] = {method.data(), parameter.data()};
  DISPID ids[2] = {0, 0};
  EXPECT_EQ(probe->GetIDsOfNames(IID_NULL, two, 2, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);
  EXPECT_EQ(probe->GetIDsOfNames(IProbe::kIid, two, 1, 0, ids), DISP_E_UNKNOWNINTERFACE);
}

TEST(Dispatch, HandleArgumentByValueOrByReference) {
  com::ComPtr<IDispatch> probe = NewProbe();
  int32_t handle = 21;
  com::Variant text(u" 21 ");
  com::Variant boxed(21);
  com::Variant letters(u"abc");
  BSTR raw = text.bstrVal;
  struct Case {
    const char* what;
    VARIANT argument;
    HRESULT hr;
    int32_t doubled;
  };
  const Case cases[] = {
      {"VT_I4", Value(VT_I4, 21), S_OK, 42},
      {"VT_INT", Value(VT_INT, 21), S_OK, 42},
      {"VT_I2", [] { VARIANT v{}; v.vt = VT_I2; v.iVal = 21; return v; }(), S_OK, 42},
      {"VT_INT by reference", com::ByRef(handle, VT_INT), S_OK, 42},
      {"VT_I4 by reference", com::ByRef(handle), S_OK, 42},
      {"numeric text", text, S_OK, 42},
      {"numeric text by reference", com::ByRef(raw), S_OK, 42},
      {"variant by reference", com::ByRef(boxed), S_OK, 42},
      {"variant holding text", com::ByRef(text), S_OK, 42},
      {"empty", VARIANT{}, S_OK, 0},
      {"text", letters, DISP_E_TYPEMISMATCH, 0},
      {"null", com::Variant::Null(), DISP_E_TYPEMISMATCH, 0},
      {"no such type", Value(0x0FFF, 21), DISP_E_BADVARTYPE, 0},
      {"dangling reference", Value(VT_I4 | VT_BYREF, 0), DISP_E_TYPEMISMATCH, 0},
      {"too large", [] { VARIANT v{}; v.vt = VT_R8; v.dblVal = 1e10; return v; }(),
       DISP_E_OVERFLOW, 0},
      {"missing", [] { VARIANT v{}; v.vt = VT_ERROR; v.scode = DISP_E_PARAMNOTFOUND; return v; }(),
       DISP_E_PARAMNOTOPTIONAL, 0},
      {"object", [&] { VARIANT v{}; v.vt = VT_DISPATCH; v.pdispVal = probe.Get(); return v; }(),
       DISP_E_TYPEMISMATCH, 0},
  };
  for (const Case& c : cases) {
    com::Variant result;
    uint32_t argumentError = 99;
    EXPECT_EQ(com::Call(probe.Get(), u"Twice", DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                        {c.argument}, &result, nullptr, &argumentError),
              c.hr)
        << c.what;
    if (c.hr == S_OK) {
      EXPECT_EQ(result.vt, VT_I4) << c.what;
      EXPECT_EQ(result.lVal, c.doubled) << c.what;
    } else {
      EXPECT_EQ(result.vt, VT_EMPTY) << c.what;
      EXPECT_EQ(argumentError, 0u) << c.what;
    }
  }
  EXPECT_EQ(handle, 21);  // an [in] reference is read, never written
}

TEST(Dispatch, ArgumentsArriveInDeclarationOrder) {
  com::ComPtr<IDispatch> probe = NewProbe();
  com::Variant result;
  ASSERT_EQ(com::Call(probe.Get(), u"Describe", DISPATCH_METHOD,
                      {com::Variant(u"7"), com::Variant(2.5), com::Variant::Bool(true)}, &result),
            S_OK);
  EXPECT_EQ(com::View(result.Text()), u"7|2.5|true");
  ASSERT_EQ(com::Call(probe.Get(), u"Describe", DISPATCH_METHOD,
                      {com::Variant(-1.5), com::Variant(u"1,000.25"), com::Variant(u"False")},
                      result.Receive()),
            S_OK);
  EXPECT_EQ(com::View(result.Text()), u"-2|1000.25|false");

  uint32_t argumentError = 99;
  EXPECT_EQ(com::Call(probe.Get(), u"Describe", DISPATCH_METHOD,
                      {com::Variant(1), com::Variant(u"x"), com::Variant(1)}, result.Receive(),
                      nullptr, &argumentError),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argumentError, 1u);  // rgvarg holds the arguments last-first: "x" is rgvarg[1]
}

TEST(Dispatch, TextArgumentsAndResults) {
  com::ComPtr<IDispatch> probe = NewProbe();
  const std::u16string withNul(u"a\0b", 3);
  struct Case {
    VARIANT argument;
    std::u16string_view expected;
  };
  com::Variant korean(u"한글");
  com::Variant nul(std::u16string_view{withNul});
  const Case cases[] = {
      {korean, u"한글"},
      {nul, withNul},
      {Value(VT_I4, 42), u"42"},
      {com::Variant::Bool(true), u"True"},
      {com::Variant(0.1), u"0.1"},
      {VARIANT{}, u""},
      {[] { VARIANT v{}; v.vt = VT_BSTR; return v; }(), u""},  // a null BSTR
  };
  for (const Case& c : cases) {
    com::Variant result;
    EXPECT_EQ(com::Call(probe.Get(), u"Echo", DISPATCH_METHOD, {c.argument}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(com::View(result.bstrVal), c.expected);
  }
}

TEST(Dispatch, WrongArgumentCountsAndUnknownMembers) {
  com::ComPtr<IDispatch> probe = NewProbe();
  com::Variant result;
  EXPECT_EQ(com::Call(probe.Get(), u"Echo", DISPATCH_METHOD, {}, &result), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(com::Call(probe.Get(), u"Echo", DISPATCH_METHOD, {Value(VT_I4, 1), Value(VT_I4, 2)},
                      &result),
            DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(com::Call(probe.Get(), u"Nothing", DISPATCH_METHOD, {}, &result), DISP_E_UNKNOWNNAME);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(probe->Invoke(77, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(probe->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, nullptr, &result, nullptr, nullptr),
            E_INVALIDARG);
  VARIANT argument = Value(VT_I4, 1);
  DISPID named = 0;
  DISPPARAMS withName{&argument, &named, 1, 1};
  EXPECT_EQ(probe->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &withName, &result, nullptr, nullptr),
            DISP_E_NONAMEDARGS);
  EXPECT_EQ(result.vt, VT_EMPTY);
}

TEST(Dispatch, OutVariantIsWrittenIntoTheCallersVariable) {
  com::ComPtr<IDispatch> probe = NewProbe();
  com::Variant variable(u"old value");  // freed when overwritten (LeakSanitizer watches)
  ASSERT_EQ(com::Call(probe.Get(), u"Fill", DISPATCH_METHOD,
                      {com::Variant(u"new"), com::ByRef(variable)}),
            S_OK);
  EXPECT_EQ(variable.vt, VT_BSTR);
  EXPECT_EQ(com::View(variable.bstrVal), u"new!");
  // A value passed by value has nowhere to go back to: the call still works.
  EXPECT_EQ(com::Call(probe.Get(), u"Fill", DISPATCH_METHOD,
                      {com::Variant(u"lost"), Value(VT_I4, 0)}),
            S_OK);
}

TEST(Dispatch, PropertyPutAndGet) {
  com::ComPtr<IDispatch> probe = NewProbe();
  com::Variant key(u"0123456789ABCDEF");
  EXPECT_EQ(com::Call(probe.Get(), u"Key", DISPATCH_PROPERTYPUT, {com::ByRef(key)}), S_OK);
  com::Variant read;
  EXPECT_EQ(com::Call(probe.Get(), u"Key", DISPATCH_PROPERTYGET | DISPATCH_METHOD, {}, &read),
            S_OK);
  EXPECT_EQ(com::View(read.Text()), u"0123456789ABCDEF");
  // The method's own S_FALSE comes back unchanged.
  EXPECT_EQ(com::Call(probe.Get(), u"Key", DISPATCH_PROPERTYPUT, {Value(VT_I4, 5)}), S_FALSE);
  EXPECT_EQ(com::Call(probe.Get(), u"Key", DISPATCH_METHOD, {Value(VT_I4, 5)}),
            DISP_E_MEMBERNOTFOUND);
  VARIANT value = Value(VT_I4, 5);
  DISPID wrongName = 1;
  DISPPARAMS params{&value, &wrongName, 1, 1};
  EXPECT_EQ(probe->Invoke(5, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                          nullptr),
            DISP_E_PARAMNOTFOUND);
}

TEST(Dispatch, MethodFailureBecomesAnException) {
  com::ComPtr<IDispatch> probe = NewProbe();
  EXCEPINFO exception{};
  EXPECT_EQ(com::Call(probe.Get(), u"Fail", DISPATCH_METHOD, {}, nullptr, &exception),
            DISP_E_EXCEPTION);
  EXPECT_EQ(exception.scode, E_FAIL);
  EXPECT_EQ(com::View(exception.bstrSource), u"Probe");
  EXPECT_EQ(com::View(exception.bstrDescription), u"probe failed");
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  IErrorInfo* left = nullptr;
  EXPECT_EQ(GetErrorInfo(0, &left), S_FALSE);  // taken by Invoke

  auto errors = probe.As<ISupportErrorInfo>();
  ASSERT_TRUE(errors);
  EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IProbe::kIid), S_OK);
  EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
}

// An outer object that aggregates a Probe and counts its own references.
class Outer final : public IUnknown {
 public:
  HRESULT QueryInterface(const IID& iid, void** object) override {
    if (iid == IID_IUnknown) {
      *object = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    return inner->QueryInterface(iid, object);
  }
  uint32_t AddRef() override { return ++references; }
  uint32_t Release() override { return --references; }

  uint32_t references = 1;
  com::ComPtr<IUnknown> inner;
};

TEST(Dispatch, AggregationDelegatesToTheOuterObject) {
  Outer outer;
  ASSERT_EQ(com::CreateInstance<Probe>(&outer, IID_IUnknown, outer.inner.ReceiveVoid()), S_OK);
  com::ComPtr<IDispatch> dispatch;
  ASSERT_EQ(outer.QueryInterface(IID_IDispatch, dispatch.ReceiveVoid()), S_OK);
  EXPECT_EQ(outer.references, 2u);  // the interface counts on the outer object
  com::ComPtr<IUnknown> identity;
  ASSERT_EQ(dispatch->QueryInterface(IID_IUnknown, identity.ReceiveVoid()), S_OK);
  EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(&outer));
  identity.Reset();
  com::Variant result;
  EXPECT_EQ(com::Call(dispatch.Get(), u"Echo", DISPATCH_METHOD, {com::Variant(u"hi")}, &result),
            S_OK);
  dispatch.Reset();
  EXPECT_EQ(outer.references, 1u);

  void* object = nullptr;
  EXPECT_EQ(com::CreateInstance<Probe>(&outer, IID_IDispatch, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
}

// A class that leaves aggregation and error info off.
inline constexpr CLSID CLSID_Counter = com::MakeGuid("{5C1E7A2B-93D4-4F0A-8B6E-2D7C9A0F1E34}");

struct ICounter : IDispatch {
  static constexpr IID kIid = com::MakeGuid("{8F5A5B40-BD5F-451D-8148-0BDD5D862AAE}");
  virtual HRESULT Next(int32_t* value) = 0;
};

class Counter final : public com::Object<Counter, ICounter> {
 public:
  static const com::DispatchTable kDispatch;
  HRESULT Next(int32_t* value) override {
    *value = ++count_;
    return S_OK;
  }

 private:
  int32_t count_ = 0;
};

const com::Member kCounterMembers[] = {
    com::Method<&ICounter::Next>(1, "Next", "method Next", {com::RetVal("value")}),
};
const com::DispatchTable Counter::kDispatch{ICounter::kIid, "ICounter", "ICounter Interface",
                                            kCounterMembers};

TEST(Dispatch, FactoryAggregationRulesAndModuleLocks) {
  const com::ClassEntry classes[] = {com::Class<Counter>(CLSID_Counter)};
  const com::Module module{"", {}, classes};
  ASSERT_EQ(com::CanUnloadNow(), S_OK);

  com::ComPtr<IClassFactory> factory;
  EXPECT_EQ(com::GetClassObject(module, IProbe::kIid, IID_IClassFactory, factory.ReceiveVoid()),
            CLASS_E_CLASSNOTAVAILABLE);
  ASSERT_EQ(com::GetClassObject(module, CLSID_Counter, IID_IClassFactory, factory.ReceiveVoid()),
            S_OK);
  EXPECT_EQ(com::CanUnloadNow(), S_FALSE);  // the factory itself holds the module

  Outer outer;
  com::ComPtr<IUnknown> inner;
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IUnknown, inner.ReceiveVoid()),
            CLASS_E_NOAGGREGATION);
  com::ComPtr<ICounter> counter;
  ASSERT_EQ(factory->CreateInstance(nullptr, ICounter::kIid, counter.ReceiveVoid()), S_OK);
  EXPECT_FALSE(counter.As<ISupportErrorInfo>());
  EXPECT_EQ(factory->LockServer(1), S_OK);
  factory.Reset();
  com::Variant result;
  EXPECT_EQ(com::Call(counter.Get(), u"next", DISPATCH_METHOD, {}, &result), S_OK);
  EXPECT_EQ(result.lVal, 1);
  counter.Reset();
  EXPECT_EQ(com::CanUnloadNow(), S_FALSE);  // the server lock
  ASSERT_EQ(com::GetClassObject(module, CLSID_Counter, IID_IClassFactory, factory.ReceiveVoid()),
            S_OK);
  EXPECT_EQ(factory->LockServer(0), S_OK);
  factory.Reset();
  EXPECT_EQ(com::CanUnloadNow(), S_OK);
}

}  // namespace
