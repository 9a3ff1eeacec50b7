#pragma once

// Checking and making a pack's signature (see SignatureFormat.h). An
// unsigned pack is no problem here: whether it may be installed is the
// installer's question.

#include "AuthorKey.h"
#include "PackHeader.h"
#include "SigningKey.h"

#include <QIODevice>
#include <QString>
#include <memory>
#include <optional>

namespace pack {

enum class SignatureProblemCode {
    None,
    Incomplete, // one of the two members without the other
    BadKey,     // "authorKey" is no public key
    BadForm,    // "signature" is no signature: cut short, padded, escaped
    Misplaced,  // the signature's text is not found exactly once in the header
    Mismatch,   // the signature does not hold for these bytes and this key
    CannotRead,
};

struct PackSignature
{
    SignatureProblemCode problem = SignatureProblemCode::None;
    std::optional<AuthorKey> signer; // set for a signed pack whose signature holds

    bool ok() const { return problem == SignatureProblemCode::None; }
};

class SignedBytes;

// Checks a pack's signature while the pack's bytes pass by once, in order
// from its first byte, whose header `header` holds the members `info`.
class SignatureCheck
{
public:
    SignatureCheck(const QByteArray& header, const PackInfo& info);
    ~SignatureCheck();
    SignatureCheck(const SignatureCheck&) = delete;
    SignatureCheck& operator=(const SignatureCheck&) = delete;

    // What is wrong with the signature the header claims, found before any
    // byte: None for a well-formed signature and for an unsigned pack.
    SignatureProblemCode problem() const { return m_problem; }
    // Whether there is a signature to verify: then every byte goes to add().
    bool expectsBytes() const { return m_message != nullptr; }
    void add(const char* data, qint64 size);
    // After the last byte: the signer when the signature holds.
    PackSignature finish();

private:
    SignatureProblemCode m_problem = SignatureProblemCode::None;
    std::optional<AuthorKey> m_key;
    QByteArray m_signature;
    std::unique_ptr<SignedBytes> m_message;
};

// Checks the signature of the pack read from `pack` (from its first byte to
// its end), whose header `header` holds the members `info`.
PackSignature checkSignature(QIODevice& pack, const QByteArray& header, const PackInfo& info);

// A Chinese sentence for the user.
QString signatureProblemMessage(SignatureProblemCode problem);

// Writes the unsigned pack `input` to `output` (which may be the same file)
// signed by `key`: the header gains the two members before its closing
// brace, everything else is copied as it is. False with a Chinese reason.
bool signPack(const QString& input, const SigningKey& key, const QString& output, QString& error);

} // namespace pack
