// peerident: the user id of the process at the other end of a connected local socket.
//
//   peerUid(fd) -> number   the peer's effective uid (0 .. 4294967295), or -1 when there is none:
//                           no argument, a non-number, a negative descriptor, a descriptor that is
//                           not a socket or has no peer credentials. Never throws.
#include <sys/socket.h>
#include <sys/types.h>

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
  int32_t fd = -1;
  if (argc >= 1 && napi_get_value_int32(env, argv[0], &fd) != napi_ok) fd = -1;
  napi_value result = nullptr;
  napi_create_int64(env, peerUidOf(fd), &result);
  return result;
}

void Init(napi_env env, napi_value exports) {
  marrowfen::napi::exportFunctions(env, exports, {{"peerUid", PeerUid}});
}

}  // namespace

MARROWFEN_NAPI_ADDON(Init)
