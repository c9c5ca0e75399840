#include "filesink.h"

namespace tftp {

FileSink::FileSink(const QString& targetPath, Mode mode, BeforeReplace beforeReplace)
    : file_(targetPath), mode_(mode), beforeReplace_(std::move(beforeReplace))
{
}

bool FileSink::open(QString* error)
{
    return file_.open(error);
}

bool FileSink::write(QByteArrayView data, QString* error)
{
    if (mode_ == Mode::Netascii) {
        const QByteArray text = decoder_.decode(data);
        return file_.write(text.constData(), text.size(), error);
    }
    return file_.write(data.data(), data.size(), error);
}

bool FileSink::commit(QString* error)
{
    if (mode_ == Mode::Netascii) {
        const QByteArray rest = decoder_.finish();
        if (!file_.write(rest.constData(), rest.size(), error))
            return false;
    }
    if (beforeReplace_ && !beforeReplace_(file_.targetPath(), error)) {
        file_.discard();
        return false;
    }
    return file_.commit(error);
}

void FileSink::discard()
{
    file_.discard();
}

} // namespace tftp
