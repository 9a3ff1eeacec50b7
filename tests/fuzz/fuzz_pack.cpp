// The pack split and both readings of a header: the split loses no byte and
// ends where the file reader ends, ORVA's reading of "name" agrees with the
// installer's check, the signature check of an accepted header ends with a
// signer exactly when it holds, and every accepted header survives being
// written again (as etipack writes it in front of every pack).

#include "Workspace.h"
#include "pack/HeaderSplitter.h"
#include "pack/HeaderWriter.h"
#include "pack/PackSignature.h"

#include <QBuffer>

#define FUZZ_CHECK(condition) ((condition) ? void() : (qFatal("property failed: %s", #condition)))

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const Workspace workspace;
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const pack::SplitPack split = pack::splitPack(input);
    const QByteArray rest = input.mid(split.header.size());
    FUZZ_CHECK(input.startsWith(split.header));
    FUZZ_CHECK(split.hasBody ? (rest == split.body || rest == "~" + split.body) : rest.isEmpty());

    workspace.write(QStringLiteral("p"), input);
    const pack::HeaderBytes read = pack::readHeaderBytes(QStringLiteral("p"));
    FUZZ_CHECK(read.bytes == split.header &&
               read.bodyOffset == (split.hasBody ? qint64(size) - split.body.size() : -1));

    const pack::CheckedHeader checked = pack::checkHeader(split.header);
    const pack::PackName name = pack::readPackName(QStringLiteral("p"));
    FUZZ_CHECK(pack::headerProblemMessage(checked.problem).isEmpty() == checked.ok());
    if (!checked.ok())
        return 0;
    FUZZ_CHECK(name.problem.ok() && name.name == checked.info.name);
    QBuffer pack;
    pack.setData(input);
    FUZZ_CHECK(pack.open(QIODevice::ReadOnly));
    const pack::PackSignature signature = pack::checkSignature(pack, split.header, checked.info);
    FUZZ_CHECK(signature.ok() == (signature.signer || !checked.info.claimsSignature()));
    FUZZ_CHECK(pack::signatureProblemMessage(signature.problem).isEmpty() == signature.ok());
    for (const bool indented : {false, true}) {
        const QByteArray json = pack::headerJson(checked.info, indented);
        const pack::CheckedHeader again = pack::checkHeader(json);
        FUZZ_CHECK(pack::splitPack(json + "~").header == json && again.ok());
        FUZZ_CHECK(pack::headerJson(again.info, indented) == json);
    }
    return 0;
}
