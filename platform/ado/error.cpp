#include <cstdio>

#include "ado/internal.h"

namespace ado {

namespace {

struct Text {
  HRESULT code;
  const char* text;
};

// The system's message texts for the codes that reach the module; OLE DB and ADO codes have
// none, as on the platform the module was written for.
constexpr Text kSystemMessages[] = {
    {E_NOTIMPL, "Not implemented"},
    {E_NOINTERFACE, "No such interface supported"},
    {E_POINTER, "Invalid pointer"},
    {E_FAIL, "Unspecified error"},
    {E_UNEXPECTED, "Catastrophic failure"},
    {E_OUTOFMEMORY, "Not enough storage is available to complete this operation."},
    {E_INVALIDARG, "The parameter is incorrect."},
};

constexpr Text kAdoDescriptions[] = {
    {adErrNoCurrentRecord,
     "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
     "requires a current record."},
    {adErrInvalidArgument,
     "Arguments are of the wrong type, are out of acceptable range, or are in conflict with one "
     "another."},
    {adErrFeatureNotAvailable,
     "Object or provider is not capable of performing requested operation."},
    {adErrItemNotFound,
     "Item cannot be found in the collection corresponding to the requested name or ordinal."},
    {adErrDataConversion, "Application uses a value of the wrong type for the current operation."},
    {adErrObjectClosed, "Operation is not allowed when the object is closed."},
    {adErrObjectOpen, "Operation is not allowed when the object is open."},
    {adErrProviderNotFound, "Provider cannot be found. It may not be properly installed."},
    {adErrInvalidConnection,
     "The connection cannot be used to perform this operation. It is either closed or invalid "
     "in this context."},
    {DB_E_NOCOMMAND, "Command text was not set for the command object."},
};

const char* Find(std::span<const Text> table, HRESULT code) {
  for (const Text& entry : table) {
    if (entry.code == code) return entry.text;
  }
  return nullptr;
}

}  // namespace

std::string Error::ErrorMessage() const {
  if (const char* text = Find(kSystemMessages, code_)) return text;
  const uint32_t code = static_cast<uint32_t>(code_);
  char text[48];
  if (code > 0x80040200u && code <= 0x8004FFFFu) {
    std::snprintf(text, sizeof text, "IDispatch error #%u", code - 0x80040200u);
  } else {
    std::snprintf(text, sizeof text, "Unknown error 0x%X", code);
  }
  return text;
}

namespace internal {

void Raise(HRESULT code, const char* source) {
  const char* description = Find(kAdoDescriptions, code);
  throw Error(code, source, description ? description : "");
}

}  // namespace internal

}  // namespace ado
