// Fuzz target: the simulated controller's shell command parser on
// arbitrary command lines, and the whole shell session behind it on a
// scratch card.
#include "simulator/commandparser.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray line(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto parsed = tarvo::simulator::CommandParser::parse(line);
    // A line either parses or says why not; never both.
    if (!parsed.syntaxError.isEmpty() && !parsed.commands.isEmpty())
        __builtin_trap();
    return 0;
}
