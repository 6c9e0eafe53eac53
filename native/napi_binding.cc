#include "native/napi_binding.h"

#include <cstdlib>

namespace marrowfen::napi {

void exportFunctions(napi_env env, napi_value exports,
                     std::initializer_list<ExportedFunction> functions) {
  for (const ExportedFunction& function : functions) {
    napi_value value = nullptr;
    napi_create_function(env, function.name, NAPI_AUTO_LENGTH, function.callback, nullptr, &value);
    napi_set_named_property(env, exports, function.name, value);
  }
}

size_t readArguments(napi_env env, napi_callback_info info, napi_value* argv, size_t capacity) {
  for (size_t i = 0; i < capacity; ++i) argv[i] = nullptr;
  size_t count = capacity;
  if (napi_get_cb_info(env, info, &count, argv, nullptr, nullptr) != napi_ok) return 0;
  return count;
}

char* copyUtf8(napi_env env, napi_value value) {
  if (value == nullptr) return nullptr;
  size_t length = 0;
  if (napi_get_value_string_utf8(env, value, nullptr, 0, &length) != napi_ok) return nullptr;
  char* copy = static_cast<char*>(std::calloc(length + 1, 1));
  if (copy == nullptr) return nullptr;
  size_t written = 0;
  napi_get_value_string_utf8(env, value, copy, length + 1, &written);
  return copy;
}

}  // namespace marrowfen::napi
