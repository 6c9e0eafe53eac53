// The Node-API binding shared by the three addons. The addons are loaded by a Node.js host and bind
// the Node-API symbols from the host process at load time; they never link against Node.
//
// Every helper here ignores the statuses of the Node-API calls it makes and throws nothing: a
// failed call leaves its output at the preset value (null, zero, empty), which callers treat as
// "missing".
#pragma once

#include <node_api.h>

#include <cstddef>
#include <initializer_list>

namespace marrowfen::napi {

// One exported function: the property name doubles as the function's name.
struct ExportedFunction {
  const char* name;        // property name on the exports object, e.g. "storeSecret"
  napi_callback callback;  // the native function behind it, e.g. StoreSecret
};

// Creates each function (its name, NAPI_AUTO_LENGTH, no data pointer) and sets it on exports.
void exportFunctions(napi_env env, napi_value exports,
                     std::initializer_list<ExportedFunction> functions);

// Reads up to capacity arguments into argv (unused slots stay null) and returns how many were
// passed.
size_t readArguments(napi_env env, napi_callback_info info, napi_value* argv, size_t capacity);

// A malloc'd, NUL-terminated UTF-8 copy of a JavaScript string, or nullptr when the value is not a
// string or memory runs out. The caller frees it with free(). A string holding U+0000 keeps it in
// the copy; C callers then see the text before it.
char* copyUtf8(napi_env env, napi_value value);

}  // namespace marrowfen::napi

// Defines the two C entry points the host looks for: node_api_module_get_api_version_v1, which
// answers the Node-API version the addon is written against, and napi_register_module_v1, which
// calls init(env, exports) and returns the exports object itself.
#define MARROWFEN_NAPI_ADDON(init)                                                             \
  extern "C" {                                                                                 \
  NAPI_MODULE_EXPORT int32_t node_api_module_get_api_version_v1(void) { return NAPI_VERSION; } \
  NAPI_MODULE_EXPORT napi_value napi_register_module_v1(napi_env env, napi_value exports) {    \
    init(env, exports);                                                                        \
    return exports;                                                                            \
  }                                                                                            \
  }
