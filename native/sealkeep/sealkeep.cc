// sealkeep: small secrets (byte strings) in the system's Secret Service, one item per account.
//
//   available() -> boolean                    a Secret Service answers on the session bus
//   storeSecret(account, buffer) -> number    0 stored; 3 bad arguments (also an account name
//                                             holding U+0000 or a lone surrogate, or a secret
//                                             over kMaxSecretBytes) or no service; else the
//                                             failure's code: 2 the collection stayed locked,
//                                             4 the service refused the store
//   loadSecret(account, reason?) -> Promise   resolves with a new Buffer; rejects with 1 (no item),
//                                             2 (the collection stayed locked), 3 (anything else)
//   deleteSecret(account) -> number           0 deleted or there was none; 3 otherwise
//
// Nothing throws. Storing and deleting block the calling thread; a load runs as async work on a
// worker thread, which may wait for the service's unlock prompt.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "native/napi_binding.h"
#include "native/sealkeep/secret_store.h"

namespace {

using namespace marrowfen::sealkeep;
using marrowfen::napi::copyUtf8;
using marrowfen::napi::readArguments;

// An account name as a malloc'd UTF-8 copy, or nullptr when the value is not a string or the name
// could not stand for itself: one holding U+0000 would be cut there by the store (and so name
// another account's item), and one holding a lone surrogate has no UTF-8 form of its own (it
// would become U+FFFD, the same name as a real U+FFFD).
char* copyAccountName(napi_env env, napi_value value) {
  if (value == nullptr) return nullptr;
  size_t units = 0;
  if (napi_get_value_string_utf16(env, value, nullptr, 0, &units) != napi_ok) return nullptr;
  auto* text = static_cast<char16_t*>(std::calloc(units + 1, sizeof(char16_t)));
  if (text == nullptr) return nullptr;
  size_t read = 0;
  napi_get_value_string_utf16(env, value, text, units + 1, &read);
  bool usable = read == units;
  for (size_t i = 0; usable && i < read; ++i) {
    const char16_t unit = text[i];
    if (unit == 0) {
      usable = false;
    } else if (unit >= 0xD800 && unit <= 0xDBFF) {
      usable = i + 1 < read && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
      ++i;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      usable = false;
    }
  }
  std::free(text);
  return usable ? copyUtf8(env, value) : nullptr;
}

napi_value int32Value(napi_env env, int32_t number) {
  napi_value value = nullptr;
  napi_create_int32(env, number, &value);
  return value;
}

// One loadSecret call, from the call until its completion has run. Allocated zero-filled; from
// queueing on it belongs to the async work, and LoadComplete frees it with everything it holds.
struct LoadRequest {
  napi_deferred deferred;  // the promise to settle, exactly once, in LoadComplete
  napi_async_work work;    // the async work running this request
  char* account;           // malloc'd UTF-8 copy of the first argument, or null
  char* reason;            // malloc'd UTF-8 copy of the second argument, or null
  uint8_t* secret;         // malloc'd copy of the secret read, or null; wiped before it is freed
  uint64_t length;         // byte length of secret
  int32_t status;          // 3 at creation; then 0, 1, 2 or 3 as set by LoadExecute
};

napi_value Available(napi_env env, napi_callback_info) {
  napi_value value = nullptr;
  napi_get_boolean(env, serviceAvailable(), &value);
  return value;
}

napi_value StoreSecret(napi_env env, napi_callback_info info) {
  napi_value argv[2];
  if (readArguments(env, info, argv, 2) < 2) return int32Value(env, kFailed);
  char* account = copyAccountName(env, argv[0]);
  void* data = nullptr;
  size_t length = 0;
  if (napi_get_buffer_info(env, argv[1], &data, &length) != napi_ok) data = nullptr;
  int32_t result = kFailed;
  if (account != nullptr && data != nullptr && length > 0 && length <= kMaxSecretBytes) {
    result = storeItem(account, static_cast<const uint8_t*>(data), length);
  }
  std::free(account);
  return int32Value(env, result);
}

napi_value DeleteSecret(napi_env env, napi_callback_info info) {
  napi_value argv[1];
  if (readArguments(env, info, argv, 1) < 1) return int32Value(env, kFailed);
  char* account = copyAccountName(env, argv[0]);
  const int32_t result = account != nullptr ? deleteItem(account) : kFailed;
  std::free(account);
  return int32Value(env, result);
}

// Worker thread: touches no JavaScript value. The Secret Service has no way to show a caller's
// text in its unlock prompt, so reason is carried but not used.
void LoadExecute(napi_env, void* data) {
  auto* request = static_cast<LoadRequest*>(data);
  if (request->account == nullptr) return;
  size_t length = 0;
  request->status = readItem(request->account, &request->secret, &length);
  request->length = length;
}

// JavaScript thread: settles the promise, wipes and frees everything the request holds.
void LoadComplete(napi_env env, napi_status, void* data) {
  auto* request = static_cast<LoadRequest*>(data);
  if (request->status == kOk && request->secret != nullptr) {
    napi_value buffer = nullptr;
    napi_create_buffer_copy(env, request->length, request->secret, nullptr, &buffer);
    napi_resolve_deferred(env, request->deferred, buffer);
  } else {
    napi_reject_deferred(env, request->deferred, int32Value(env, request->status));
  }
  wipeAndFree(request->secret, request->length);
  std::free(request->account);
  std::free(request->reason);
  napi_delete_async_work(env, request->work);
  std::free(request);
}

napi_value LoadSecret(napi_env env, napi_callback_info info) {
  napi_value argv[2];
  const size_t argc = readArguments(env, info, argv, 2);
  napi_value promise = nullptr;
  napi_deferred deferred = nullptr;
  napi_create_promise(env, &deferred, &promise);

  auto* request = static_cast<LoadRequest*>(std::calloc(1, sizeof(LoadRequest)));
  if (request == nullptr) {
    napi_reject_deferred(env, deferred, int32Value(env, kFailed));
    return promise;
  }
  request->deferred = deferred;
  request->status = kFailed;
  if (argc >= 1) request->account = copyAccountName(env, argv[0]);
  if (argc >= 2) request->reason = copyUtf8(env, argv[1]);

  napi_value resourceName = nullptr;
  napi_create_string_utf8(env, "marrowfenLoadSecret", NAPI_AUTO_LENGTH, &resourceName);
  if (napi_create_async_work(env, nullptr, resourceName, LoadExecute, LoadComplete, request,
                             &request->work) != napi_ok ||
      napi_queue_async_work(env, request->work) != napi_ok) {
    // Without queued work LoadComplete would never run: settle and free here instead.
    if (request->work != nullptr) napi_delete_async_work(env, request->work);
    request->work = nullptr;
    napi_reject_deferred(env, deferred, int32Value(env, kFailed));
    std::free(request->account);
    std::free(request->reason);
    std::free(request);
  }
  return promise;
}

void Init(napi_env env, napi_value exports) {
  marrowfen::napi::exportFunctions(env, exports,
                                   {{"available", Available},
                                    {"storeSecret", StoreSecret},
                                    {"loadSecret", LoadSecret},
                                    {"deleteSecret", DeleteSecret}});
}

}  // namespace

MARROWFEN_NAPI_ADDON(Init)
