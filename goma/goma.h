#ifndef GOMA_H
#define GOMA_H
/* Our PGP library over GPGME and the user's own GnuPG (keyring, gpg-agent, pinentry).
 *
 * Nine functions for the editor, plus the result blocks they hand back. Texts are CP932 (Windows Shift-JIS)
 * bytes. Calls are synchronous for the caller. Windows the library shows are its own, owned by the window
 * given as "owner" (a QWidget* of the calling program, or NULL). Passphrases are asked only by gpg-agent's
 * pinentry; the library never sees one. Plaintext never touches the disk.
 */
#include <stddef.h>

#if defined(GOMA_BUILDING)
#define GOMA_API __attribute__((visibility("default")))
#else
#define GOMA_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef void *GOMA_HWND;                 /* QWidget* of the caller, or NULL */
typedef struct goma_block *GOMA_HGLOBAL; /* an owned result block */

/* Character-set codes for the text handed over. */
#define GOMA_CHARSET_JIS 1      /* the text is converted to ISO-2022-JP before encryption or signing */
#define GOMA_CHARSET_SHIFTJIS 2 /* the CP932 text is used as it is */
#define GOMA_CHARSET_UTF8 3     /* only for result blocks: a decrypted text with characters CP932 lacks */

GOMA_API int GOMAInit(void);
GOMA_API int GOMARelease(void);

/* Encrypts (encrypt 1), signs (sign 1, clear-signed when not encrypting), or both, the NUL-terminated text.
 * Every line break is made CR LF before the text is encrypted or signed. A clear-signed text may not hold a
 * line of 19,993 bytes or more (without its line break) (GnuPG's armour would cut it): such a text is refused, never shortened.
 * recipients/count: an explicit recipient list (user IDs or fingerprints); with count 0 the library asks the
 * user in its own recipient chooser. Returns nonzero on success with *result holding the armoured text (lines
 * ending in CR LF); 0 on failure or when the user cancelled (no block is handed back then). */
GOMA_API int GOMAEncryptText(GOMA_HWND owner, int encrypt, int sign, const char *const *recipients, int count,
                             const char *text, GOMA_HGLOBAL *result, int charset);

/* Decrypts and verifies an armoured message, or verifies a clear-signed text. On success *result holds the
 * plaintext (lines ending in CR LF) as CP932, or as UTF-8 when it holds characters CP932 lacks (see
 * GOMABlockCharset). The text's own character set is taken from its "Charset:" header, else from the text
 * itself (ISO-2022-JP escapes, valid UTF-8, else CP932); the charset argument is not consulted. The verdict
 * of the signatures, or that there is none, is shown in the library's own window. A message that fails
 * its integrity check or cannot be decrypted returns 0 and no text. A decrypted text over 64 MiB is stopped. */
GOMA_API int GOMADecryptText(GOMA_HWND owner, const char *text, GOMA_HGLOBAL *result, int charset);

/* GOMAEncryptText with the signing key named by its fingerprint (NULL or empty: the usual choice). */
GOMA_API int GOMAEncryptTextAs(GOMA_HWND owner, int encrypt, int sign, const char *const *recipients, int count,
                               const char *signer, const char *text, GOMA_HGLOBAL *result, int charset);

/* Whom the last successful GOMADecryptText of an encrypted message was addressed to: one line per
 * recipient, the fingerprint of its key in the keyring, or the key ID where the keyring has none. UTF-8,
 * valid until the next call; empty when the message was not encrypted. */
GOMA_API const char *GOMALastRecipients(void);
/* The fingerprint of the key that signed that message (its primary key where the keyring has it); empty
 * when it was not signed. */
GOMA_API const char *GOMALastMessageSigner(void);
/* Nonzero when the keyring holds the secret part of the key with this fingerprint. */
GOMA_API int GOMAHasSecretKey(const char *fingerprint);
/* The next recipient chooser opens with these keys (fingerprints) selected; count 0 forgets them. */
GOMA_API void GOMAPreselectRecipients(const char *const *keys, int count);

/* Why the last GOMAEncryptText, GOMADecryptText or GOMALaunchKeys call failed: a Japanese text in UTF-8,
 * valid until the next call; empty after a success or when the user cancelled. */
GOMA_API const char *GOMALastError(void);

/* The key that signed in the last successful GOMAEncryptText call with sign 1 ("user ID [key ID]", UTF-8),
 * also when the library chose it without asking; empty otherwise. Valid until the next call. */
GOMA_API const char *GOMALastSigner(void);

/* Starts the user's key manager (detached); 0 when none could be started. */
GOMA_API int GOMALaunchKeys(GOMA_HWND owner);
/* Starts the user's PGP tools (detached). */
GOMA_API int GOMALaunchTools(GOMA_HWND owner);
/* The library's preferences dialog (default signing key, encrypt to self, the GnuPG home in use). */
GOMA_API int GOMAPreferences(GOMA_HWND owner);
/* The library's About window. */
GOMA_API int GOMAAbout(GOMA_HWND owner);
/* The library's version as a whole number (major * 100 + minor). */
GOMA_API int GOMAGetVersion(void);

/* Result blocks: lock to read the bytes (NUL-terminated; size without the NUL), unlock, then free.
 * Freeing wipes the block's memory. */
GOMA_API const char *GOMABlockLock(GOMA_HGLOBAL block);
GOMA_API size_t GOMABlockSize(GOMA_HGLOBAL block);
/* What the block's bytes are: GOMA_CHARSET_SHIFTJIS or GOMA_CHARSET_UTF8. */
GOMA_API int GOMABlockCharset(GOMA_HGLOBAL block);
GOMA_API void GOMABlockUnlock(GOMA_HGLOBAL block);
GOMA_API void GOMABlockFree(GOMA_HGLOBAL block);

#ifdef __cplusplus
}
#endif
#endif
