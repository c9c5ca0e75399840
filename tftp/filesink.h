#pragma once

#include "atomicfile.h"
#include "datasink.h"
#include "netasciidecoder.h"
#include "packet.h"

#include <functional>

namespace tftp {

// Received data into a file through AtomicFile. beforeReplace runs just
// before the new file takes the final name (the server keeps a backup there).
class FileSink : public DataSink
{
public:
    using BeforeReplace = std::function<bool(const QString& target, QString* error)>;

    FileSink(const QString& targetPath, Mode mode, BeforeReplace beforeReplace = {});

    bool open(QString* error);
    bool write(QByteArrayView data, QString* error) override;
    bool commit(QString* error) override;
    void discard() override;

private:
    AtomicFile file_;
    Mode mode_;
    NetasciiDecoder decoder_;
    BeforeReplace beforeReplace_;
};

} // namespace tftp
