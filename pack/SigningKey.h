#pragma once

// An author's private signing key, kept in a key file that only its owner
// can read: the file's first line is kKeyFileMagic, its second the key's
// seed as signature text.

#include "AuthorKey.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace pack {

class SigningKey
{
public:
    // A new random key; nullopt when the cryptography library cannot work.
    static std::optional<SigningKey> generate();
    // nullopt with a Chinese reason in `error` when the file holds no key.
    static std::optional<SigningKey> load(const QString& path, QString& error);

    // Writes a new key file readable by its owner only; an existing file is
    // never replaced.
    bool save(const QString& path, QString& error) const;

    const AuthorKey& author() const { return m_author; }
    // libsodium's 64-byte secret key.
    const QByteArray& secret() const { return m_secret; }

private:
    SigningKey(AuthorKey author, QByteArray seed, QByteArray secret);
    static std::optional<SigningKey> fromSeed(const QByteArray& seed);

    AuthorKey m_author;
    QByteArray m_seed;
    QByteArray m_secret;
};

} // namespace pack
