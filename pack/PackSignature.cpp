#include "PackSignature.h"

#include "SignatureFormat.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <functional>
#include <sodium.h>

namespace pack {
namespace {

using Feed = std::function<bool(const char* data, qint64 size)>;

// Hands the device's bytes from `from` to its end to `feed`, in chunks.
bool feedFrom(QIODevice& device, qint64 from, const Feed& feed)
{
    if (!device.seek(from))
        return false;
    constexpr int chunkBytes = 64 * 1024;
    QByteArray chunk(chunkBytes, Qt::Uninitialized);
    for (;;) {
        const qint64 read = device.read(chunk.data(), chunk.size());
        if (read < 0)
            return false;
        if (read == 0)
            return true;
        if (!feed(chunk.constData(), read))
            return false;
    }
}

PackSignature problemOf(SignatureProblemCode code)
{
    PackSignature result;
    result.problem = code;
    return result;
}

QByteArray quoted(const QByteArray& text)
{
    return '"' + text + '"';
}

} // namespace

// The signed message: the context, then the pack's bytes with the
// signature's text at [skipFrom, skipFrom + kSignatureTextBytes) left out.
class SignedBytes
{
public:
    explicit SignedBytes(qint64 skipFrom) : m_skipFrom(skipFrom)
    {
        crypto_sign_init(&m_state);
        update(kSignatureContext, static_cast<qint64>(sizeof kSignatureContext - 1));
    }

    void addPackBytes(const char* data, qint64 size)
    {
        const qint64 skipTo = m_skipFrom + kSignatureTextBytes;
        const qint64 start = m_offset;
        m_offset += size;
        if (m_offset <= m_skipFrom || start >= skipTo) {
            update(data, size);
            return;
        }
        if (start < m_skipFrom)
            update(data, m_skipFrom - start);
        if (m_offset > skipTo)
            update(data + (skipTo - start), m_offset - skipTo);
    }

    QByteArray sign(const QByteArray& secret)
    {
        QByteArray signature(kSignatureBytes, Qt::Uninitialized);
        crypto_sign_final_create(&m_state, reinterpret_cast<unsigned char*>(signature.data()), nullptr,
                                 reinterpret_cast<const unsigned char*>(secret.constData()));
        return signature;
    }

    bool verify(const QByteArray& signature, const AuthorKey& key)
    {
        // The signature is copied: final_verify takes a non-const pointer.
        QByteArray copy = signature;
        return crypto_sign_final_verify(&m_state, reinterpret_cast<unsigned char*>(copy.data()),
                                        reinterpret_cast<const unsigned char*>(key.bytes().constData())) == 0;
    }

private:
    void update(const char* data, qint64 size)
    {
        crypto_sign_update(&m_state, reinterpret_cast<const unsigned char*>(data),
                           static_cast<unsigned long long>(size));
    }

    crypto_sign_state m_state{};
    qint64 m_skipFrom;
    qint64 m_offset = 0;
};

SignatureCheck::SignatureCheck(const QByteArray& header, const PackInfo& info)
{
    if (!info.claimsSignature())
        return;
    m_problem = SignatureProblemCode::Incomplete;
    if (!info.authorKey || !info.signature)
        return;
    m_problem = SignatureProblemCode::BadKey;
    m_key = AuthorKey::fromText(*info.authorKey);
    if (!m_key)
        return;
    m_problem = SignatureProblemCode::BadForm;
    m_signature = fromSignatureText(*info.signature, kSignatureBytes);
    if (m_signature.isEmpty())
        return;
    m_problem = SignatureProblemCode::Misplaced;
    const QByteArray text = quoted(*info.signature);
    const int at = header.indexOf(text);
    if (at < 0 || header.indexOf(text, at + 1) >= 0)
        return;
    m_problem = SignatureProblemCode::CannotRead;
    if (!cryptoReady())
        return;
    m_problem = SignatureProblemCode::None;
    m_message = std::make_unique<SignedBytes>(at + 1);
}

SignatureCheck::~SignatureCheck() = default;

void SignatureCheck::add(const char* data, qint64 size)
{
    if (m_message)
        m_message->addPackBytes(data, size);
}

PackSignature SignatureCheck::finish()
{
    if (m_problem != SignatureProblemCode::None)
        return problemOf(m_problem);
    PackSignature result;
    if (!m_message)
        return result;
    if (!m_message->verify(m_signature, *m_key))
        return problemOf(SignatureProblemCode::Mismatch);
    result.signer = m_key;
    return result;
}

PackSignature checkSignature(QIODevice& pack, const QByteArray& header, const PackInfo& info)
{
    SignatureCheck check(header, info);
    if (check.expectsBytes() && !feedFrom(pack, 0, [&](const char* data, qint64 size) {
            check.add(data, size);
            return true;
        }))
        return problemOf(SignatureProblemCode::CannotRead);
    return check.finish();
}

QString signatureProblemMessage(SignatureProblemCode problem)
{
    switch (problem) {
    case SignatureProblemCode::None:
        break;
    case SignatureProblemCode::Incomplete:
        return QStringLiteral("安装包的签名不完整：包头中的\"%1\"和\"%2\"必须同时出现。")
            .arg(QLatin1String(kAuthorKeyMember), QLatin1String(kSignatureMember));
    case SignatureProblemCode::BadKey:
        return QStringLiteral("安装包的签名无效：\"%1\"不是作者公钥。").arg(QLatin1String(kAuthorKeyMember));
    case SignatureProblemCode::BadForm:
        return QStringLiteral("安装包的签名无效：\"%1\"不是完整的签名（可能被截短了）。")
            .arg(QLatin1String(kSignatureMember));
    case SignatureProblemCode::Misplaced:
        return QStringLiteral("安装包的签名无效：签名文字没有原样地、唯一地出现在包头中。");
    case SignatureProblemCode::Mismatch:
        return QStringLiteral(
            "安装包的签名不符：安装包在签名之后被改动过，或者不是由包头所写的作者密钥签名的。");
    case SignatureProblemCode::CannotRead:
        return QStringLiteral("无法读取安装包以检查签名。");
    }
    return {};
}

bool signPack(const QString& input, const SigningKey& key, const QString& output, QString& error)
{
    const QString shown = QDir::toNativeSeparators(input);
    const CheckedHeader checked = readCheckedHeader(input);
    if (!checked.ok()) {
        error = QStringLiteral("\"%1\"不是有效的安装包。").arg(shown);
        return false;
    }
    if (checked.info.claimsSignature()) {
        error = QStringLiteral("\"%1\"已经签名了。").arg(shown);
        return false;
    }
    // The members go after the last member, indented as etipack writes.
    const QByteArray& header = checked.bytes;
    const int close = header.lastIndexOf('}');
    int last = close - 1;
    while (last >= 0 && QByteArray(" \t\r\n").contains(header.at(last)))
        --last;
    const QByteArray placeholder(kSignatureTextBytes, 'A');
    const QByteArray before = header.left(last + 1) + (header.at(last) == '{' ? "" : ",") + "\n    " +
                              quoted(kAuthorKeyMember) + ": " + quoted(key.author().text()) + ",\n    " +
                              quoted(kSignatureMember) + ": \"";
    const QByteArray after = '"' + header.mid(last + 1);

    QFile source(input);
    SignedBytes message(before.size());
    message.addPackBytes(before.constData(), before.size());
    message.addPackBytes(placeholder.constData(), placeholder.size());
    message.addPackBytes(after.constData(), after.size());
    const Feed sign = [&](const char* data, qint64 size) {
        message.addPackBytes(data, size);
        return true;
    };
    if (!source.open(QIODevice::ReadOnly) || !feedFrom(source, header.size(), sign)) {
        error = QStringLiteral("无法读取\"%1\"。").arg(shown);
        return false;
    }
    const QByteArray signedHeader = before + toSignatureText(message.sign(key.secret())) + after;

    QSaveFile file(output);
    const Feed copy = [&](const char* data, qint64 size) {
        return file.write(data, size) == size;
    };
    bool written = file.open(QIODevice::WriteOnly) && file.write(signedHeader) == signedHeader.size() &&
                   feedFrom(source, header.size(), copy);
    source.close(); // Windows renames nothing over an open file
    if (!written || !file.commit()) {
        error =
            QStringLiteral("无法写入\"%1\"：%2").arg(QDir::toNativeSeparators(output), file.errorString());
        return false;
    }
    return true;
}

} // namespace pack
