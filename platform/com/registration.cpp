// Self-registration: the module's registry script plus the keys that record its type library
// and interfaces, applied to the registry store in one locked update.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>

#include "com/internal.h"

namespace com {

namespace {

// The standard marshaler of dual interfaces, as type library registration records it.
constexpr std::string_view kAutomationProxy = "{00020424-0000-0000-C000-000000000046}";

internal::ScriptEntry Key(std::string name, std::vector<internal::ScriptEntry> children = {}) {
  internal::ScriptEntry entry;
  entry.name = std::move(name);
  entry.children = std::move(children);
  return entry;
}

internal::ScriptEntry KeyWithText(std::string name, std::string text,
                                  std::vector<internal::ScriptEntry> children = {}) {
  internal::ScriptEntry entry = Key(std::move(name), std::move(children));
  entry.value = internal::StoredValue{internal::StoredValue::Type::String, std::move(text), 0};
  return entry;
}

const char* TypeName(VARTYPE type) {
  switch (type) {
    case VT_I4: return "long";
    case VT_INT: return "int";
    case VT_I2: return "short";
    case VT_BOOL: return "VARIANT_BOOL";
    case VT_R8: return "double";
    case VT_DATE: return "DATE";
    case VT_R4: return "float";
    case VT_BSTR: return "BSTR";
    default: return "VARIANT";
  }
}

// The member as an IDL line: [propget, id(3), helpstring("...")] HRESULT Name([in] BSTR a, ...)
std::string IdlLine(const Member& m) {
  std::string line = "[";
  if (m.kind == MemberKind::PropertyGet) line += "propget, ";
  if (m.kind == MemberKind::PropertyPut) line += "propput, ";
  line += "id(" + std::to_string(m.dispid) + "), helpstring(\"" + m.helpString + "\")] HRESULT " +
          m.name + "(";
  for (size_t i = 0; i < m.paramCount; ++i) {
    const Param& p = m.params[i];
    if (i > 0) line += ", ";
    line += p.direction == Direction::In    ? "[in] "
            : p.direction == Direction::Out ? "[out] "
                                            : "[out, retval] ";
    line += TypeName(p.type);
    line += p.byRef ? "* " : " ";
    line += p.name;
  }
  return line + ")";
}

std::string MemberKey(const Member& m) {
  const char* prefix = m.kind == MemberKind::PropertyGet   ? "propget "
                       : m.kind == MemberKind::PropertyPut ? "propput "
                                                           : "";
  return prefix + std::string(m.name);
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}

HRESULT Apply(const Module& module, bool install) {
  try {
    const std::string path = ModulePath();
    if (path.empty()) return E_UNEXPECTED;
    const auto script = internal::ParseScript(module.registryScript, path);
    if (!script) return DISP_E_EXCEPTION;
    const std::vector<internal::ScriptEntry> typeInformation =
        internal::TypeInformation(module, path);
    return internal::UpdateStore(RegistryStorePath(), [&](internal::RegistryStore& store) {
      internal::RunScript(*script, install, store);
      internal::RunScript(typeInformation, install, store);
      return S_OK;
    });
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace

namespace internal {

std::vector<ScriptEntry> TypeInformation(const Module& module, std::string_view modulePath) {
  const TypeLibrary& library = module.typeLibrary;
  const std::string libid = FormatGuid(library.libid);
  const std::string version = Hex(library.majorVersion) + "." + Hex(library.minorVersion);
  const std::string path(modulePath);

  ScriptEntry typeLib = Key("TypeLib");
  typeLib.noRemove = true;
  ScriptEntry thisLibrary = Key(libid);
  thisLibrary.forceRemove = true;
  thisLibrary.children.push_back(
      KeyWithText(version, library.helpString,
                  {Key(Hex(library.lcid), {KeyWithText("win64", path)}), KeyWithText("FLAGS", "0"),
                   KeyWithText("HELPDIR", path.substr(0, path.rfind('/') + 1))}));
  typeLib.children.push_back(std::move(thisLibrary));

  ScriptEntry interfaces = Key("Interface");
  interfaces.noRemove = true;
  for (const ClassEntry& entry : module.classes) {
    const DispatchTable& table = *entry.dispatch;
    ScriptEntry members = Key("Members");
    for (const Member& m : table.members)
      members.children.push_back(KeyWithText(MemberKey(m), IdlLine(m)));
    ScriptEntry versionValue = KeyWithText("Version", version);
    versionValue.kind = ScriptEntry::Kind::Value;
    ScriptEntry interface =
        KeyWithText(FormatGuid(table.iid), table.name,
                    {KeyWithText("ProxyStubClsid32", std::string(kAutomationProxy)),
                     KeyWithText("TypeLib", libid, {std::move(versionValue)}), std::move(members)});
    interface.forceRemove = true;
    interfaces.children.push_back(std::move(interface));
  }
  return {std::move(typeLib), std::move(interfaces)};
}

}  // namespace internal

std::string ModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ModulePath), &info) == 0 || !info.dli_fname) return {};
  std::string path = info.dli_fname;
  if (path.find('/') == std::string::npos) path = "/proc/self/exe";  // a program run by name
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? resolved : "";
}

HRESULT RegisterServer(const Module& module) { return Apply(module, true); }
HRESULT UnregisterServer(const Module& module) { return Apply(module, false); }

HRESULT RunRegistryScript(std::string_view script, std::string_view modulePath, bool install) {
  try {
    const auto entries = internal::ParseScript(script, modulePath);
    if (!entries) return DISP_E_EXCEPTION;
    return internal::UpdateStore(RegistryStorePath(), [&](internal::RegistryStore& store) {
      internal::RunScript(*entries, install, store);
      return S_OK;
    });
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace com
