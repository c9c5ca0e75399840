#pragma once

#include "atomicfile.h"
#include "datasink.h"
#include "netasciidecoder.h"
#include "packet.h"
#include "sha256.h"

#include <functional>

namespace tarvo::tftp {

// Received data into a file through AtomicFile. beforeReplace runs just
// before the new file takes the final name (the server keeps a backup there).
class FileSink : public DataSink
{
public:
    using BeforeReplace = std::function<bool(const QString& target, QString* error)>;
    // Told what landed under the final name: its size and SHA-256 (hex).
    using Committed = std::function<void(qint64 bytes, const QByteArray& sha256Hex)>;

    FileSink(const QString& targetPath, Mode mode, BeforeReplace beforeReplace = {});

    void setOnCommitted(Committed committed) { committed_ = std::move(committed); }
    bool open(QString* error);
    bool write(QByteArrayView data, QString* error) override;
    bool commit(QString* error) override;
    void discard() override;

private:
    AtomicFile file_;
    Mode mode_;
    NetasciiDecoder decoder_;
    BeforeReplace beforeReplace_;
    Committed committed_;
    Sha256 hash_;
    qint64 stored_ = 0;

    bool store(const char* data, qint64 size, QString* error);
};

}  // namespace tarvo::tftp
