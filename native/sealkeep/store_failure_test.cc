#include "native/sealkeep/store_failure.h"

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <libsecret/secret.h>

#include "native/sealkeep/secret_store.h"

namespace marrowfen::sealkeep {
namespace {

struct Case {
  const char* name;
  GQuark domain;
  int code;
  int32_t expected;
};

TEST(StoreFailureTest, GlibErrorsMapToTheAddonsCodes) {
  const Case cases[] = {
      {"collection locked", SECRET_ERROR, SECRET_ERROR_IS_LOCKED, kStillLocked},
      {"libsecret protocol error (code 1)", SECRET_ERROR, SECRET_ERROR_PROTOCOL, kServiceRefused},
      {"no such collection (code 3)", SECRET_ERROR, SECRET_ERROR_NO_SUCH_OBJECT, kServiceRefused},
      {"already exists", SECRET_ERROR, SECRET_ERROR_ALREADY_EXISTS, kServiceRefused},
      {"GIO failed (code 0)", G_IO_ERROR, G_IO_ERROR_FAILED, kServiceRefused},
      {"GIO not found (code 1)", G_IO_ERROR, G_IO_ERROR_NOT_FOUND, kServiceRefused},
      {"GIO exists (code 2)", G_IO_ERROR, G_IO_ERROR_EXISTS, kServiceRefused},
      {"GIO cancelled", G_IO_ERROR, G_IO_ERROR_CANCELLED, kServiceRefused},
      {"GIO timed out", G_IO_ERROR, G_IO_ERROR_TIMED_OUT, kServiceRefused},
      {"connection closed", G_IO_ERROR, G_IO_ERROR_CLOSED, kFailed},
      {"D-Bus failed (code 0)", G_DBUS_ERROR, G_DBUS_ERROR_FAILED, kServiceRefused},
      {"D-Bus no memory (code 1)", G_DBUS_ERROR, G_DBUS_ERROR_NO_MEMORY, kServiceRefused},
      {"service unknown (code 2)", G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN, kFailed},
      {"name has no owner", G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER, kFailed},
      {"bus disconnected", G_DBUS_ERROR, G_DBUS_ERROR_DISCONNECTED, kFailed},
      {"access denied", G_DBUS_ERROR, G_DBUS_ERROR_ACCESS_DENIED, kServiceRefused},
      {"unknown method", G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD, kServiceRefused},
      {"another domain's locked code", G_FILE_ERROR, SECRET_ERROR_IS_LOCKED, kServiceRefused},
      {"a negative code", G_IO_ERROR, -1, kServiceRefused},
  };
  for (const Case& c : cases) {
    GError* error = g_error_new_literal(c.domain, c.code, c.name);
    EXPECT_EQ(storeFailureCode(error), c.expected) << c.name;
    g_error_free(error);
  }
  EXPECT_EQ(storeFailureCode(nullptr), kFailed) << "a failure without an error";
}

TEST(StoreFailureTest, NoFailureReadsAsSuccessOrAsNoItem) {
  // Whatever the error, a failed store never answers 0 (stored) or 1 (no item, a load's answer).
  for (GQuark domain : {SECRET_ERROR, G_IO_ERROR, G_DBUS_ERROR, G_FILE_ERROR}) {
    for (int code = -2; code < 64; ++code) {
      GError* error = g_error_new_literal(domain, code, "failure");
      const int32_t answer = storeFailureCode(error);
      EXPECT_NE(answer, kOk) << code;
      EXPECT_NE(answer, kNoItem) << code;
      g_error_free(error);
    }
  }
}

}  // namespace
}  // namespace marrowfen::sealkeep
