#include "SigningKey.h"

#include "SignatureFormat.h"
#include "platform/Platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sodium.h>

namespace pack {
namespace {

// A key file is two short lines; anything longer is no key file.
constexpr int kMaxKeyFileBytes = 1024;

} // namespace

SigningKey::SigningKey(AuthorKey author, QByteArray seed, QByteArray secret)
    : m_author(std::move(author)), m_seed(std::move(seed)), m_secret(std::move(secret))
{}

std::optional<SigningKey> SigningKey::fromSeed(const QByteArray& seed)
{
    if (!cryptoReady() || seed.size() != kSeedBytes)
        return std::nullopt;
    QByteArray publicKey(kPublicKeyBytes, Qt::Uninitialized);
    QByteArray secret(crypto_sign_SECRETKEYBYTES, Qt::Uninitialized);
    crypto_sign_seed_keypair(reinterpret_cast<unsigned char*>(publicKey.data()),
                             reinterpret_cast<unsigned char*>(secret.data()),
                             reinterpret_cast<const unsigned char*>(seed.constData()));
    return SigningKey(*AuthorKey::fromBytes(publicKey), seed, secret);
}

std::optional<SigningKey> SigningKey::generate()
{
    if (!cryptoReady())
        return std::nullopt;
    QByteArray seed(kSeedBytes, Qt::Uninitialized);
    randombytes_buf(seed.data(), static_cast<size_t>(seed.size()));
    return fromSeed(seed);
}

std::optional<SigningKey> SigningKey::load(const QString& path, QString& error)
{
    const QString shown = QDir::toNativeSeparators(path);
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("无法读取密钥文件\"%1\"。").arg(shown);
        return std::nullopt;
    }
    const QByteArray content = file.read(kMaxKeyFileBytes + 1);
    QList<QByteArray> lines = content.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    while (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    std::optional<SigningKey> key;
    if (content.size() <= kMaxKeyFileBytes && lines.size() == 2 && lines[0] == kKeyFileMagic)
        key = fromSeed(fromSignatureText(lines[1], kSeedBytes));
    if (!key)
        error = QStringLiteral("\"%1\"不是etipack的作者密钥文件。").arg(shown);
    return key;
}

bool SigningKey::save(const QString& path, QString& error) const
{
    const QByteArray content = QByteArray(kKeyFileMagic) + '\n' + toSignatureText(m_seed) + '\n';
    // A lost key cannot be made again: never overwrite one.
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        error = QStringLiteral("文件已存在，不会覆盖它");
    else if (platform::createPrivateFile(path, content, error))
        return true;
    error = QStringLiteral("无法创建密钥文件\"%1\"：%2").arg(QDir::toNativeSeparators(path), error);
    return false;
}

} // namespace pack
