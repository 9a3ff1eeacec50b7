// The pack split and the header readers: the split loses no byte and does
// not depend on how the bytes arrive, the file readers agree with the
// in-memory ones, and every accepted header survives being written again by
// headerJson (which the pack tool puts in front of every pack it makes).

#include "FuzzSupport.h"
#include "InstallPack.h"
#include "PackHeaderValidation.h"

namespace {

bool sameInfo(const pack::PackInfo& a, const pack::PackInfo& b)
{
    return a.name == b.name && a.id == b.id && a.roles == b.roles && a.control == b.control &&
           a.version == b.version && a.description == b.description && a.author == b.author;
}

void checkRewritten(const pack::PackInfo& info, bool indented)
{
    const QByteArray json = pack::headerJson(info, indented);
    const pack::SplitPack split = pack::splitPack(json + "~body");
    FUZZ_CHECK(split.header == json && split.body == "body");
    const pack::CheckedHeader again = pack::checkHeader(json);
    FUZZ_CHECK(again.ok());
    FUZZ_CHECK(sameInfo(again.info, info));
    FUZZ_CHECK(pack::parseHeader(json).name == info.name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    const pack::SplitPack split = pack::splitPack(input);

    // Nothing is lost: header, the separator if it ended there, body.
    FUZZ_CHECK(input.startsWith(split.header));
    const QByteArray rest = input.mid(split.header.size());
    FUZZ_CHECK(split.hasBody ? (rest == split.body || rest == "~" + split.body) : rest.isEmpty());

    // Fed in small chunks, the splitter ends at the same byte.
    pack::HeaderSplitter splitter;
    const qint64 step = size % 7 + 1;
    qint64 taken = 0;
    for (qint64 at = 0; at < input.size() && !splitter.finished(); at += step)
        taken += splitter.feed(input.constData() + at, qMin<qint64>(step, input.size() - at));
    FUZZ_CHECK(taken == split.header.size() && splitter.finished() == split.hasBody);

    const pack::PackHeader parsed = pack::parseHeader(split.header);
    const pack::CheckedHeader checked = pack::checkHeader(split.header);
    if (checked.ok()) {
        FUZZ_CHECK(parsed.error == pack::HeaderError::None && parsed.name == checked.info.name);
        checkRewritten(checked.info, false);
        checkRewritten(checked.info, true);
    } else {
        FUZZ_CHECK(!pack::headerProblemMessage(checked.problem).isEmpty());
    }
    if (parsed.error == pack::HeaderError::Malformed)
        FUZZ_CHECK(checked.problem.code == pack::HeaderProblemCode::Malformed &&
                   checked.problem.errorByte == parsed.errorByte);

    // The readers of a pack file see what the in-memory split sees.
    const QString path = fuzz::writeInput(input);
    const qint64 bodyOffset = split.hasBody ? input.size() - split.body.size() : -1;
    const pack::PackHeader read = pack::readPackHeader(path);
    FUZZ_CHECK(read.error == parsed.error && read.header == split.header && read.name == parsed.name);
    FUZZ_CHECK(read.bodyOffset == bodyOffset);
    const pack::CheckedHeader readChecked = pack::readCheckedHeader(path);
    FUZZ_CHECK(readChecked.problem.code == checked.problem.code && readChecked.bodyOffset == bodyOffset);
    return 0;
}
