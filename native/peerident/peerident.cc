// peerident: the user id of the process at the other end of a connected local socket.
//
//   peerUid(fd) -> number   the peer's effective uid (0 .. 4294967295), or -1 when there is none:
//                           no argument, a non-number, a number that is not a whole number in
//                           the range of descriptors (0 .. 2^31 - 1), a descriptor that is not a
//                           socket or has no peer credentials. Never throws.
#include <sys/socket.h>
#include <sys/types.h>

#include <cmath>
#include <cstdint>

#include "native/napi_binding.h"

namespace {

// The peer's uid, or -1. SO_PEERCRED answers for any socket; one without peer credentials (a TCP
// socket, a Unix socket never connected) reports uid (uid_t)-1, which is no user, so it becomes -1
// too. A listening Unix socket reports its own creator, as Linux records that at listen().
int64_t peerUidOf(int fd) {
  if (fd < 0) return -1;
  struct ucred credentials {};
  socklen_t size = sizeof credentials;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) return -1;
  if (size != sizeof credentials || credentials.uid == static_cast<uid_t>(-1)) return -1;
  return static_cast<int64_t>(static_cast<uint64_t>(credentials.uid));
}

napi_value PeerUid(napi_env env, napi_callback_info info) {
  napi_value argv[1];
  const size_t argc = marrowfen::napi::readArguments(env, info, argv, 1);
  // Read as a double, not with a 32-bit conversion: that would wrap 2^32 + 5 to 5 and cut 5.9
  // to 5, asking about a descriptor the caller never named.
  int32_t fd = -1;
  double number = -1;
  if (argc >= 1 && napi_get_value_double(env, argv[0], &number) == napi_ok &&
      std::isfinite(number) && number >= 0 && number <= INT32_MAX && std::trunc(number) == number) {
    fd = static_cast<int32_t>(number);
  }
  napi_value result = nullptr;
  napi_create_int64(env, peerUidOf(fd), &result);
  return result;
}

void Init(napi_env env, napi_value exports) {
  marrowfen::napi::exportFunctions(env, exports, {{"peerUid", PeerUid}});
}

}  // namespace

MARROWFEN_NAPI_ADDON(Init)
