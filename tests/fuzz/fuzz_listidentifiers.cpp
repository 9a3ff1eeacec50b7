// readListIdentifiers (the extension manager): runs of one to eight ASCII
// digits that together are every digit of the list, and for a well-formed
// list exactly the tokens ORVA's start-up reads.

#include "FuzzSupport.h"
#include "ListIdentifierReader.h"
#include "StartListReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    const QByteArray path = fuzz::writeInput(input).toUtf8();
    const QList<QByteArray> identifiers = extensions::readListIdentifiers(path);

    QByteArray digits;
    for (const char byte : input) {
        if (byte >= '0' && byte <= '9')
            digits.append(byte);
    }
    QByteArray joined;
    int searchFrom = 0;
    for (const QByteArray& identifier : identifiers) {
        FUZZ_CHECK(identifier.size() >= 1 && identifier.size() <= 8);
        joined += identifier;
        // Each identifier stands in the input as written, after the one before.
        const int at = input.indexOf(identifier, searchFrom);
        FUZZ_CHECK(at >= 0);
        searchFrom = at + identifier.size();
    }
    FUZZ_CHECK(joined == digits);

    const std::optional<QList<QByteArray>> tokens = extensions::readStartList(path);
    FUZZ_CHECK(tokens);
    bool wellFormed = true;
    for (const QByteArray& token : *tokens) {
        wellFormed = wellFormed && token.size() == 8;
        for (const char byte : token)
            wellFormed = wellFormed && byte >= '0' && byte <= '9';
    }
    if (wellFormed)
        FUZZ_CHECK(identifiers == *tokens);
    return 0;
}
