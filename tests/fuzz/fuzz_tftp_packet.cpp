// Fuzz target: the TFTP packet decoder and option negotiation on arbitrary
// datagrams. Whatever decodes must encode and decode to the same packet.
#include "tftp/options.h"
#include "tftp/packet.h"

#include "fuzz_check.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView datagram(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString error;
    const auto packet = tarvo::tftp::decodePacket(datagram, &error);
    if (!packet) {
        fuzzCheck(!error.isEmpty(), "a refusal says why");
        return 0;
    }
    const QByteArray again = packet->encode();
    const auto second = tarvo::tftp::decodePacket(again);
    fuzzCheck(second.has_value(), "re-encoded packet decodes");
    fuzzCheck(second->encode() == again, "encoding is stable");

    switch (packet->opcode) {
    case tarvo::tftp::Opcode::Rrq:
    case tarvo::tftp::Opcode::Wrq: {
        const auto n = tarvo::tftp::negotiateServerOptions(packet->options, packet->opcode, packet->mode,
                                                    packet->opcode == tarvo::tftp::Opcode::Rrq ? 123456 : -1, {});
        fuzzCheck(n.parameters.blksize >= tarvo::tftp::MinBlockSize && n.parameters.blksize <= tarvo::tftp::MaxBlockSize, "blksize bounds");
        fuzzCheck(n.parameters.windowsize >= 1, "windowsize bounds");
        // Whatever is accepted goes out in an OACK that decodes again.
        if (!n.accepted.isEmpty())
            fuzzCheck(tarvo::tftp::decodePacket(tarvo::tftp::Packet::oack(n.accepted).encode()).has_value(), "OACK decodes");
        break;
    }
    case tarvo::tftp::Opcode::Oack: {
        QString why;
        const QList<tarvo::tftp::Option> asked{{"blksize", "1468"}, {"tsize", "0"}, {"windowsize", "16"}, {"timeout", "3"}};
        const auto params = tarvo::tftp::acceptOack(packet->options, asked, &why);
        if (params)
            fuzzCheck(params->blksize >= tarvo::tftp::MinBlockSize && params->blksize <= 1468, "accepted blksize");
        break;
    }
    default:
        break;
    }
    return 0;
}
