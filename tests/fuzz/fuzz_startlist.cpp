// readStartList: the tokens are exactly the input's maximal runs of
// non-whitespace bytes, in order, whatever bytes the list holds.

#include "FuzzSupport.h"
#include "StartListReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    const std::optional<QList<QByteArray>> tokens =
        extensions::readStartList(fuzz::writeInput(input).toUtf8());
    FUZZ_CHECK(tokens);

    QList<QByteArray> expected;
    QByteArray run;
    for (const char byte : input) {
        if (!fuzz::isSeparator(byte))
            run.append(byte);
        else if (!run.isEmpty())
            expected.append(std::exchange(run, QByteArray()));
    }
    if (!run.isEmpty())
        expected.append(run);
    FUZZ_CHECK(*tokens == expected);
    return 0;
}
