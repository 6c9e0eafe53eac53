// peerident.node: the user id of the process at the other end of a connected local socket.

/**
 * @param fd the socket's file descriptor, e.g. `socket._handle.fd` of a net.Socket on a Unix path
 * @returns the peer's effective user id at connect time, 0 to 4294967295, or -1: no argument, not a
 *   number, a negative descriptor, not a socket, a closed descriptor, or a socket without peer
 *   credentials (TCP, never connected). Nothing is thrown.
 */
export function peerUid(fd: number): number;
