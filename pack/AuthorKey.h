#pragma once

// An extension author's public key: what a signed pack names as its signer
// and what the installer pins for an installed extension.

#include <QByteArray>
#include <QString>
#include <optional>

namespace pack {

class AuthorKey
{
public:
    // From the text a header or a pin file holds; nullopt unless it is one.
    static std::optional<AuthorKey> fromText(const QByteArray& text);
    static std::optional<AuthorKey> fromBytes(const QByteArray& bytes);

    const QByteArray& bytes() const { return m_bytes; }
    QByteArray text() const;
    // Short and stable, for people to compare: "3F2A-9C1B-7E44-0D12", the
    // first 8 bytes of the key's BLAKE2b-256 hash.
    QString fingerprint() const;

    bool operator==(const AuthorKey& other) const { return m_bytes == other.m_bytes; }
    bool operator!=(const AuthorKey& other) const { return !(*this == other); }

private:
    explicit AuthorKey(QByteArray bytes) : m_bytes(std::move(bytes)) {}

    QByteArray m_bytes;
};

} // namespace pack
