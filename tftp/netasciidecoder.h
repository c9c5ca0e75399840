#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace tarvo::tftp {

// Turns netascii back into local text: CR LF -> LF, CR NUL -> CR. A CR at the
// end of one block is held until the next one shows what follows it.
class NetasciiDecoder
{
public:
    QByteArray decode(QByteArrayView in);
    QByteArray finish();

private:
    bool pendingCr_ = false;
};

}  // namespace tarvo::tftp
