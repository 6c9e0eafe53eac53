#include "native/sealkeep/secret_store.h"

#include <libsecret/secret.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "native/sealkeep/store_failure.h"

namespace marrowfen::sealkeep {

namespace {

const SecretSchema kSchema = {
    kService,
    SECRET_SCHEMA_NONE,
    {
        {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
    },
};

// The label the service shows for an item; the service requires one.
constexpr char kLabelPrefix[] = "com.marrowfen.vault: ";

// The shared connection to the Secret Service with an open session, or null (error set).
// The Secret Service with an open session, or null when none is reachable (the reason is dropped:
// every caller answers the same failure for it).
SecretService* connect() {
  GError* error = nullptr;
  SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &error);
  g_clear_error(&error);
  return service;
}

GHashTable* attributesFor(const char* account) {
  return secret_attributes_build(&kSchema, "service", kService, "account", account, nullptr);
}

// Secret bytes handed to libsecret carry their length in a header in front of them, so that the
// destroy callback, which only gets the data pointer, can wipe them.
constexpr size_t kBlockHeader = alignof(std::max_align_t);

void destroyWipedBlock(gpointer data) {
  char* block = static_cast<char*>(data) - kBlockHeader;
  size_t length = 0;
  std::memcpy(&length, block, sizeof length);
  wipeAndFree(block, kBlockHeader + length);
}

void freeItems(GList* items) { g_list_free_full(items, g_object_unref); }

// The first item found, or null; with locked set when that item is still locked.
SecretItem* firstItem(GList* items, bool& locked) {
  if (items == nullptr) return nullptr;
  auto* item = static_cast<SecretItem*>(items->data);
  locked = secret_item_get_locked(item);
  return item;
}

// Deletes every item matching attributes: 0 when all are gone (or there were none), 3 otherwise.
// libsecret's clear call skips items in locked collections and still reports "nothing matched",
// which would pass for a deletion; searching with SECRET_SEARCH_UNLOCK first asks for the
// collection to be unlocked and shows which items are still locked.
int32_t deleteMatching(SecretService* service, GHashTable* attributes) {
  GError* error = nullptr;
  GList* items = secret_service_search_sync(
      service, &kSchema, attributes,
      static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK), nullptr, &error);
  int32_t result = error == nullptr ? kOk : kFailed;
  g_clear_error(&error);
  for (GList* node = items; node != nullptr && result == kOk; node = node->next) {
    auto* item = static_cast<SecretItem*>(node->data);
    if (secret_item_get_locked(item) || !secret_item_delete_sync(item, nullptr, &error))
      result = kFailed;
    g_clear_error(&error);
  }
  freeItems(items);
  return result;
}

}  // namespace

void wipeAndFree(void* data, size_t length) {
  if (data == nullptr) return;
  explicit_bzero(data, length);
  std::free(data);
}

int32_t storeItem(const char* account, const uint8_t* data, size_t length) {
  GError* error = nullptr;
  SecretService* service = connect();
  if (service == nullptr) return kFailed;
  GHashTable* attributes = attributesFor(account);

  // The old item goes first, whatever happens to the new one; a failure here shows in the add.
  deleteMatching(service, attributes);

  int32_t result = kFailed;
  char* block = length <= SIZE_MAX - kBlockHeader
                    ? static_cast<char*>(std::malloc(kBlockHeader + length))
                    : nullptr;
  if (block != nullptr) {
    std::memcpy(block, &length, sizeof length);
    std::memcpy(block + kBlockHeader, data, length);
    SecretValue* value = secret_value_new_full(block + kBlockHeader, static_cast<gssize>(length),
                                               "application/octet-stream", destroyWipedBlock);
    gchar* label = g_strconcat(kLabelPrefix, account, nullptr);
    if (secret_service_store_sync(service, &kSchema, attributes, SECRET_COLLECTION_DEFAULT, label,
                                  value, nullptr, &error)) {
      result = kOk;
    } else {
      result = storeFailureCode(error);
    }
    g_clear_error(&error);
    g_free(label);
    secret_value_unref(value);
  }
  g_hash_table_unref(attributes);
  g_object_unref(service);
  return result;
}

int32_t deleteItem(const char* account) {
  SecretService* service = connect();
  if (service == nullptr) return kFailed;
  GHashTable* attributes = attributesFor(account);
  const int32_t result = deleteMatching(service, attributes);
  g_hash_table_unref(attributes);
  g_object_unref(service);
  return result;
}

int32_t readItem(const char* account, uint8_t** secret, size_t* length) {
  *secret = nullptr;
  *length = 0;
  GError* error = nullptr;
  SecretService* service = connect();
  if (service == nullptr) return kFailed;
  GHashTable* attributes = attributesFor(account);

  // Searching with SECRET_SEARCH_UNLOCK asks the service to unlock a locked collection (its prompt
  // may come up); an item that is still locked afterwards was refused.
  int32_t result = kFailed;
  GList* items = secret_service_search_sync(
      service, &kSchema, attributes,
      static_cast<SecretSearchFlags>(SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS), nullptr,
      &error);
  if (error != nullptr) {
    // Unlocking can also fail with an error (the prompt could not be shown). Look again without
    // unlocking: a locked item means the collection stayed locked.
    g_clear_error(&error);
    GList* lockedItems = secret_service_search_sync(service, &kSchema, attributes,
                                                    SECRET_SEARCH_NONE, nullptr, &error);
    bool locked = false;
    if (error == nullptr && firstItem(lockedItems, locked) != nullptr && locked)
      result = kStillLocked;
    g_clear_error(&error);
    freeItems(lockedItems);
  } else {
    bool locked = false;
    SecretItem* item = firstItem(items, locked);
    if (item == nullptr) {
      result = kNoItem;
    } else if (locked) {
      result = kStillLocked;
    } else if (SecretValue* value = secret_item_get_secret(item)) {
      gsize size = 0;
      const gchar* bytes = secret_value_get(value, &size);
      // One byte at least, so that an empty secret still gets a distinct allocation.
      auto* copy = static_cast<uint8_t*>(std::malloc(size > 0 ? size : 1));
      if (copy != nullptr) {
        if (size > 0) std::memcpy(copy, bytes, size);
        *secret = copy;
        *length = size;
        result = kOk;
      }
      secret_value_unref(value);
    }
  }
  freeItems(items);
  g_hash_table_unref(attributes);
  g_object_unref(service);
  return result;
}

bool serviceAvailable() {
  SecretService* service = connect();
  if (service == nullptr) return false;
  g_object_unref(service);
  return true;
}

}  // namespace marrowfen::sealkeep
