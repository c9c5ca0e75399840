#include "window/headless_controls.h"

namespace tarvo::window {

namespace {
QString oneLine(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String(" / "));
    text.replace(QLatin1Char('\n'), QLatin1String(" / "));
    return text.trimmed();
}
}  // namespace

HeadlessControls::HeadlessControls(const QString& address, std::function<void(const QString& line)> say)
    : address_(address), say_(std::move(say))
{
}

void HeadlessControls::setStatus(const QString& text)
{
    status_ = text;
    say_(QStringLiteral("[%1] %2% %3").arg(address_).arg(qRound(progress_), 3).arg(oneLine(text)));
}

void HeadlessControls::sayError(const QString& text)
{
    say_(QStringLiteral("[%1] error: %2").arg(address_, oneLine(text)));
}

}  // namespace tarvo::window
