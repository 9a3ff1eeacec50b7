#include "AuthorPin.h"

#include "orva/extensions/ExtensionLayout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace installer {
namespace {

// The key's text and a line break; more is no pin file.
constexpr int kMaxPinBytes = 256;

} // namespace

AuthorPin AuthorPin::read(const QString& folder)
{
    AuthorPin pin;
    const QString path = QDir(folder).filePath(QLatin1String(extensions::kAuthorKeyFileName));
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return pin;
    pin.state = State::Unreadable;
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return pin;
    const QByteArray content = file.read(kMaxPinBytes + 1);
    pin.key = pack::AuthorKey::fromText(content.trimmed());
    if (pin.key && content.size() <= kMaxPinBytes)
        pin.state = State::Pinned;
    else
        pin.key.reset();
    return pin;
}

QByteArray AuthorPin::fileContent(const pack::AuthorKey& key)
{
    return key.text() + '\n';
}

pack::Outcome AuthorPin::admits(const std::optional<pack::AuthorKey>& signer, const QByteArray& name,
                                const QByteArray& id) const
{
    const QString extension =
        QStringLiteral("扩展\"%1\"（标识%2）").arg(QString::fromUtf8(name), QString::fromLatin1(id));
    const QString remedy =
        QStringLiteral("\n只有同一作者签名的更新才能替换它。如果确实要换用另一个作者的版本，"
                       "请先在扩展管理器中删除这个扩展，再安装。");
    switch (state) {
    case State::None:
        return {};
    case State::Unreadable:
        return pack::Outcome{
            pack::ExitCode::AuthorChanged,
            extension +
                QStringLiteral("记录的作者密钥（%1）无法读取，无法确认这个安装包来自同一作者。")
                    .arg(QLatin1String(extensions::kAuthorKeyFileName)) +
                remedy};
    case State::Pinned:
        break;
    }
    if (signer && *signer == *key)
        return {};
    const QString installed =
        extension + QStringLiteral("是用作者密钥%1签名安装的；").arg(key->fingerprint());
    const QString offered =
        signer ? QStringLiteral("这个安装包却由另一个密钥%1签名。").arg(signer->fingerprint())
               : QStringLiteral("这个安装包却没有签名。");
    return pack::Outcome{pack::ExitCode::AuthorChanged, installed + offered + remedy};
}

} // namespace installer
