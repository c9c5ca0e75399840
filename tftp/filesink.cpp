#include "filesink.h"

namespace tftp {

FileSink::FileSink(const QString& targetPath, Mode mode, BeforeReplace beforeReplace)
    : m_file(targetPath), m_mode(mode), m_beforeReplace(std::move(beforeReplace))
{
}

bool FileSink::open(QString* error)
{
    return m_file.open(error);
}

bool FileSink::write(QByteArrayView data, QString* error)
{
    if (m_mode == Mode::Netascii) {
        const QByteArray text = m_decoder.decode(data);
        return m_file.write(text.constData(), text.size(), error);
    }
    return m_file.write(data.data(), data.size(), error);
}

bool FileSink::commit(QString* error)
{
    if (m_mode == Mode::Netascii) {
        const QByteArray rest = m_decoder.finish();
        if (!m_file.write(rest.constData(), rest.size(), error))
            return false;
    }
    if (m_beforeReplace && !m_beforeReplace(m_file.targetPath(), error)) {
        m_file.discard();
        return false;
    }
    return m_file.commit(error);
}

void FileSink::discard()
{
    m_file.discard();
}

} // namespace tftp
