#include "filesink.h"

namespace tarvo::tftp {

FileSink::FileSink(const QString& targetPath, Mode mode, BeforeReplace beforeReplace)
    : file_(targetPath), mode_(mode), beforeReplace_(std::move(beforeReplace))
{
}

bool FileSink::open(QString* error)
{
    return file_.open(error);
}

bool FileSink::store(const char* data, qint64 size, QString* error)
{
    if (!file_.write(data, size, error))
        return false;
    if (committed_)
        hash_.addData(QByteArrayView(data, size));
    stored_ += size;
    return true;
}

bool FileSink::write(QByteArrayView data, QString* error)
{
    if (mode_ == Mode::Netascii) {
        const QByteArray text = decoder_.decode(data);
        return store(text.constData(), text.size(), error);
    }
    return store(data.data(), data.size(), error);
}

bool FileSink::commit(QString* error)
{
    if (mode_ == Mode::Netascii) {
        const QByteArray rest = decoder_.finish();
        if (!store(rest.constData(), rest.size(), error))
            return false;
    }
    if (beforeReplace_ && !beforeReplace_(file_.targetPath(), error)) {
        file_.discard();
        return false;
    }
    if (!file_.commit(error))
        return false;
    if (committed_)
        committed_(stored_, hash_.result().toHex());
    return true;
}

void FileSink::discard()
{
    file_.discard();
}

}  // namespace tarvo::tftp
