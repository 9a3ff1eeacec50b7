// readFirstLine (name and control files): the value is the input up to and
// including its first line break, at most kFirstLineMaxBytes, cut at a NUL.

#include "FirstLineReader.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    const std::optional<QByteArray> line = extensions::readFirstLine(fuzz::writeInput(input).toUtf8());
    FUZZ_CHECK(line);

    FUZZ_CHECK(line->size() <= extensions::kFirstLineMaxBytes);
    FUZZ_CHECK(input.startsWith(*line));
    FUZZ_CHECK(!line->contains('\0'));
    const int lineBreak = line->indexOf('\n');
    FUZZ_CHECK(lineBreak < 0 || lineBreak == line->size() - 1);
    // It stops only at a NUL, a line break, the length bound or the end.
    const bool stoppedAtNul = input.size() > line->size() && input.at(line->size()) == '\0';
    FUZZ_CHECK(stoppedAtNul || lineBreak >= 0 || line->size() == extensions::kFirstLineMaxBytes ||
               line->size() == input.size());
    return 0;
}
