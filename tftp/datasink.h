#pragma once

#include <QByteArrayView>
#include <QString>

namespace tarvo::tftp {

// Where received DATA goes. Nothing is visible under the final name until
// commit() succeeds; discard() leaves no trace.
class DataSink
{
public:
    virtual ~DataSink() = default;
    virtual bool write(QByteArrayView data, QString* error) = 0;
    virtual bool commit(QString* error) = 0;
    virtual void discard() = 0;
};

}  // namespace tarvo::tftp
