// The cost of late binding: Invoke through the dispatch table against a direct vtable call,
// and the conversions a script host's arguments go through.
#include <benchmark/benchmark.h>

#include "com/com.h"

namespace {

struct IBench : IDispatch {
  static constexpr IID kIid = com::MakeGuid("{0B7E3C52-6A1D-4F8E-9C2B-5D4A3E2F1B60}");
  virtual HRESULT Twice(int32_t* handle, int32_t* result) = 0;
  virtual HRESULT Echo(BSTR text, BSTR* result) = 0;
};

class Bench final : public com::Object<Bench, IBench> {
 public:
  static const com::DispatchTable kDispatch;
  HRESULT Twice(int32_t* handle, int32_t* result) override {
    *result = *handle * 2;
    return S_OK;
  }
  HRESULT Echo(BSTR text, BSTR* result) override {
    *result = SysAllocStringLen(text, SysStringLen(text));
    return *result ? S_OK : E_OUTOFMEMORY;
  }
};

const com::Member kMembers[] = {
    com::Method<&IBench::Twice>(1, "Twice", "method Twice",
                                {com::In("handle", VT_INT), com::RetVal("result")}),
    com::Method<&IBench::Echo>(2, "Echo", "method Echo", {com::In("text"), com::RetVal("result")}),
};
const com::DispatchTable Bench::kDispatch{IBench::kIid, "IBench", "IBench Interface", kMembers};

com::ComPtr<IBench> NewBench() {
  com::ComPtr<IBench> bench;
  com::CreateInstance<Bench>(nullptr, IBench::kIid, bench.ReceiveVoid());
  return bench;
}

// The reference: an early-bound client calling slot 7 (Twice) of the vtable, as a client
// written in C would; the compiler cannot see through it.
void BM_VtableCall(benchmark::State& state) {
  com::ComPtr<IBench> bench = NewBench();
  using Twice = HRESULT (*)(IBench*, int32_t*, int32_t*);
  const Twice twice = (*reinterpret_cast<Twice**>(bench.Get()))[7];
  int32_t handle = 21, result = 0;
  for (auto _ : state) {
    IBench* target = bench.Get();
    benchmark::DoNotOptimize(target);
    twice(target, &handle, &result);
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_VtableCall);

void BM_InvokeHandleByReference(benchmark::State& state) {
  com::ComPtr<IBench> bench = NewBench();
  int32_t handle = 21;
  VARIANT argument = com::ByRef(handle, VT_INT);
  DISPPARAMS params{&argument, nullptr, 1, 0};
  for (auto _ : state) {
    com::Variant result;
    bench->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
    benchmark::DoNotOptimize(result.lVal);
  }
}
BENCHMARK(BM_InvokeHandleByReference);

void BM_InvokeNumericText(benchmark::State& state) {
  com::ComPtr<IBench> bench = NewBench();
  com::Variant argument(u"21");
  DISPPARAMS params{&argument, nullptr, 1, 0};
  for (auto _ : state) {
    com::Variant result;
    bench->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
    benchmark::DoNotOptimize(result.lVal);
  }
}
BENCHMARK(BM_InvokeNumericText);

void BM_InvokeTextInTextOut(benchmark::State& state) {
  com::ComPtr<IBench> bench = NewBench();
  com::Variant argument(u"merchant reserved text");
  DISPPARAMS params{&argument, nullptr, 1, 0};
  for (auto _ : state) {
    com::Variant result;
    bench->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
    benchmark::DoNotOptimize(result.bstrVal);
  }
}
BENCHMARK(BM_InvokeTextInTextOut);

void BM_CallByName(benchmark::State& state) {
  com::ComPtr<IBench> bench = NewBench();
  int32_t handle = 21;
  for (auto _ : state) {
    com::Variant result;
    com::Call(bench.Get(), u"twice", DISPATCH_METHOD, {com::ByRef(handle, VT_INT)}, &result);
    benchmark::DoNotOptimize(result.lVal);
  }
}
BENCHMARK(BM_CallByName);

void BM_DoubleToText(benchmark::State& state) {
  com::Variant number(1234.5678);
  for (auto _ : state) {
    com::Variant text;
    VariantChangeType(&text, &number, 0, VT_BSTR);
    benchmark::DoNotOptimize(text.bstrVal);
  }
}
BENCHMARK(BM_DoubleToText);

}  // namespace
