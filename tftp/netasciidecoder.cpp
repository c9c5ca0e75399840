#include "netasciidecoder.h"

namespace tarvo::tftp {

QByteArray NetasciiDecoder::decode(QByteArrayView in)
{
    QByteArray out;
    out.reserve(in.size() + 1);
    for (char c : in) {
        if (pendingCr_) {
            pendingCr_ = false;
            if (c == '\n') {
                out.append('\n');
                continue;
            }
            out.append('\r');
            if (c == '\0')
                continue;
        }
        if (c == '\r')
            pendingCr_ = true;
        else
            out.append(c);
    }
    return out;
}

QByteArray NetasciiDecoder::finish()
{
    if (!pendingCr_)
        return {};
    pendingCr_ = false;
    return QByteArrayLiteral("\r");
}

}  // namespace tarvo::tftp
