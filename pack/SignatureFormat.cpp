#include "SignatureFormat.h"

#include <sodium.h>

namespace pack {
namespace {

constexpr auto kEncoding = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

} // namespace

QByteArray toSignatureText(const QByteArray& bytes)
{
    return bytes.toBase64(kEncoding);
}

QByteArray fromSignatureText(const QByteArray& text, int size)
{
    // Qt's decoder skips what is no base64: only a round trip proves the form.
    const QByteArray bytes = QByteArray::fromBase64(text, kEncoding);
    return bytes.size() == size && bytes.toBase64(kEncoding) == text ? bytes : QByteArray();
}

bool cryptoReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

} // namespace pack
