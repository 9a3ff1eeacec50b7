#pragma once

// How a signed install pack and an author key file are written. A signed
// pack's header has two more members, which packsetup versions that predate
// signing ignore:
//
//   "authorKey": the author's Ed25519 public key (32 bytes)
//   "signature": an Ed25519ph signature (64 bytes) over kSignatureContext
//                followed by every byte of the pack file except the
//                signature's own text between its quotes
//
// Both in unpadded base64url, written verbatim (no JSON escapes), so that the
// signature's text can be found in the header's bytes and left out.

#include <QByteArray>
#include <QString>

namespace pack {

inline constexpr char kAuthorKeyMember[] = "authorKey";
inline constexpr char kSignatureMember[] = "signature";
inline constexpr char kSignatureContext[] = "etipack signature 1\n";
inline constexpr int kPublicKeyBytes = 32;
inline constexpr int kSignatureBytes = 64;
// Its length as signature text: six bits per character, no padding.
inline constexpr int kSignatureTextBytes = (kSignatureBytes * 8 + 5) / 6;
inline constexpr int kSeedBytes = 32;

// The first line of an author key file; its second line is the key's seed.
inline constexpr char kKeyFileMagic[] = "etipack-author-key-1";

// Unpadded base64url.
QByteArray toSignatureText(const QByteArray& bytes);
// The bytes of `text` when it is exactly the canonical encoding of `size`
// bytes; empty otherwise.
QByteArray fromSignatureText(const QByteArray& text, int size);

// False when the cryptography library cannot work (it could not seed its
// random generator): nothing can be signed or checked then.
bool cryptoReady();

} // namespace pack
