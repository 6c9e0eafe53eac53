// The secret store behind sealkeep: items in the Secret Service (gnome-keyring, KWallet and the
// like) through libsecret. One item per account, with the attributes service "com.marrowfen.vault"
// and account, holding the secret as binary ("application/octet-stream"), stored in the default
// collection. Every call is synchronous and may block for a D-Bus round trip, or, in readItem,
// for as long as the service's unlock prompt is up. Safe to call from several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace marrowfen::sealkeep {

inline constexpr char kService[] = "com.marrowfen.vault";

// Results shared with the host.
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kNoItem = 1;       // loadSecret: no item for the account
inline constexpr int32_t kStillLocked = 2;  // loadSecret: unlocking was dismissed or failed
inline constexpr int32_t kFailed = 3;       // anything else
// storeItem only: the Secret Service refused or failed the store (kStillLocked: the collection
// is locked and was not unlocked; kFailed: no Secret Service on the bus).
inline constexpr int32_t kServiceRefused = 4;

// The largest secret stored: 64 KiB. Secrets are keys and tokens; the Secret Service keeps a
// collection as one file that it rewrites on every change, so one large item would slow every
// later store in the keyring.
inline constexpr size_t kMaxSecretBytes = size_t{64} << 10;

// Replaces the account's item with one holding length bytes (length >= 1): any existing item is
// deleted first, so a failed add leaves no item. Returns 0 on success, 3 when no Secret Service can
// be reached, 2 when the collection is locked and was not unlocked, 4 when the service refused or
// failed the store otherwise (storeFailureCode).
int32_t storeItem(const char* account, const uint8_t* data, size_t length);

// Deletes the account's item. 0 when it was deleted or there was none, 3 on any failure.
int32_t deleteItem(const char* account);

// Reads the account's item, asking the service to unlock its collection when it is locked.
// On 0, *secret is a malloc'd copy of the *length bytes, which the caller wipes with
// wipeAndFree; on 1 (no item), 2 (the collection stayed locked) or 3 (anything else) *secret is
// left null.
int32_t readItem(const char* account, uint8_t** secret, size_t* length);

// True when a Secret Service answers on the session bus: a session with it could be opened, so
// it can be asked to unlock its collections.
bool serviceAvailable();

// Overwrites length bytes at data with zeros, in a way the compiler cannot drop, then frees them.
void wipeAndFree(void* data, size_t length);

}  // namespace marrowfen::sealkeep
