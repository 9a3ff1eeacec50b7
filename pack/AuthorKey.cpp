#include "AuthorKey.h"

#include "SignatureFormat.h"

#include <sodium.h>

namespace pack {

std::optional<AuthorKey> AuthorKey::fromText(const QByteArray& text)
{
    return fromBytes(fromSignatureText(text, kPublicKeyBytes));
}

std::optional<AuthorKey> AuthorKey::fromBytes(const QByteArray& bytes)
{
    if (bytes.size() != kPublicKeyBytes)
        return std::nullopt;
    return AuthorKey(bytes);
}

QByteArray AuthorKey::text() const
{
    return toSignatureText(m_bytes);
}

QString AuthorKey::fingerprint() const
{
    unsigned char hash[32];
    crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>(m_bytes.constData()),
                       static_cast<unsigned long long>(m_bytes.size()), nullptr, 0);
    const QByteArray hex = QByteArray(reinterpret_cast<const char*>(hash), 8).toHex().toUpper();
    return QString::fromLatin1(hex.mid(0, 4) + '-' + hex.mid(4, 4) + '-' + hex.mid(8, 4) + '-' +
                               hex.mid(12, 4));
}

} // namespace pack
