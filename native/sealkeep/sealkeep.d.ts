// sealkeep.node: small secrets (byte strings) in the system's Secret Service, one item per account
// under the service "com.marrowfen.vault", in the default collection. No function throws.

/**
 * True when a Secret Service answers on the session bus (a session with it can be opened), so
 * items can be stored and its collections can be asked to unlock. Arguments are ignored.
 */
export function available(...ignored: unknown[]): boolean;

/**
 * Replaces the account's secret with the bytes of `secret`. Any existing item is deleted first,
 * so a failed store leaves no item. The caller's Buffer is neither changed nor cleared.
 * @param account any string; text after a U+0000 is not part of the name; "" is an ordinary name
 * @param secret a Buffer of at least one byte
 * @returns 0 stored; 3 bad arguments (fewer than two, account not a string, secret not a Buffer
 *   or empty) or no Secret Service reachable; any other number: the code of the service's failure
 *   (for example when the collection is locked and unlocking was refused)
 */
export function storeSecret(account: string, secret: Buffer): number;

/**
 * Reads the account's secret on a worker thread. When the collection is locked the service is
 * asked to unlock it, which may show its own unlock prompt; the promise waits for it.
 * @param account the account string
 * @param reason optional; the Secret Service cannot show a caller's text, so it is not displayed
 * @returns a promise for a new Buffer holding the secret. It rejects with a number, never an Error:
 *   1 no item for this account; 2 the collection stayed locked (unlock prompt dismissed or failed);
 *   3 anything else (no Secret Service, no account or not a string, another failure)
 */
export function loadSecret(account: string, reason?: string): Promise<Buffer>;

/**
 * Deletes the account's secret.
 * @returns 0 deleted, or there was none; 3 bad arguments, no Secret Service, or the item could not
 *   be deleted (for example it sits in a collection that stayed locked)
 */
export function deleteSecret(account: string): 0 | 3;
