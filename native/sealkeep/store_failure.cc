#include "native/sealkeep/store_failure.h"

#include <gio/gio.h>
#include <libsecret/secret.h>

#include "native/sealkeep/secret_store.h"

namespace marrowfen::sealkeep {

int32_t storeFailureCode(const GError* error) {
  if (error == nullptr) return kFailed;
  if (g_error_matches(error, SECRET_ERROR, SECRET_ERROR_IS_LOCKED)) return kStillLocked;
  // The service left the bus (or never answered the call): the same as no service at all.
  if (g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
      g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER) ||
      g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_DISCONNECTED) ||
      g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CLOSED)) {
    return kFailed;
  }
  return kServiceRefused;
}

}  // namespace marrowfen::sealkeep
