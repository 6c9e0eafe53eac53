// What storeItem answers for a failed store: the GLib error that libsecret reported, mapped to
// the addon's own codes. A GError's code means something only within its domain (code 2 is
// "locked" from libsecret but "file exists" from GIO), so raw codes never reach the host.
#pragma once

#include <glib.h>

#include <cstdint>

namespace marrowfen::sealkeep {

/// The addon code for a store that failed with `error` (null: failed without a reason):
/// kStillLocked when the collection is locked and was not unlocked, kFailed when the Secret
/// Service is gone from the bus, kServiceRefused for any other error.
int32_t storeFailureCode(const GError* error);

}  // namespace marrowfen::sealkeep
