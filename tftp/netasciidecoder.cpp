#include "netasciidecoder.h"

namespace tftp {

QByteArray NetasciiDecoder::decode(QByteArrayView in)
{
    QByteArray out;
    out.reserve(in.size() + 1);
    for (char c : in) {
        if (m_pendingCr) {
            m_pendingCr = false;
            if (c == '\n') {
                out.append('\n');
                continue;
            }
            out.append('\r');
            if (c == '\0')
                continue;
        }
        if (c == '\r')
            m_pendingCr = true;
        else
            out.append(c);
    }
    return out;
}

QByteArray NetasciiDecoder::finish()
{
    if (!m_pendingCr)
        return {};
    m_pendingCr = false;
    return QByteArrayLiteral("\r");
}

} // namespace tftp
