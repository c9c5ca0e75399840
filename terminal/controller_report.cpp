#include "terminal/controller_report.h"

namespace tarvo::terminal {

namespace {
QString oneLine(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String(" / "));
    text.replace(QLatin1Char('\n'), QLatin1String(" / "));
    return text.trimmed();
}
}  // namespace

ControllerReport::ControllerReport(const workflow::Workflow& run, const QString& address,
                                   std::function<void(const QString& line)> say, QObject* parent)
    : QObject(parent), run_(run), address_(address), say_(std::move(say))
{
    connect(&run, &workflow::Workflow::statusChanged, this, &ControllerReport::sayStatus);
}

void ControllerReport::sayStatus(const QString& text)
{
    say_(QStringLiteral("[%1] %2% %3").arg(address_).arg(qRound(run_.progress()), 3).arg(oneLine(text)));
}

void ControllerReport::sayError(const QString& text)
{
    say_(QStringLiteral("[%1] error: %2").arg(address_, oneLine(text)));
}

void ControllerReport::sayWarning(const QString& text)
{
    say_(QStringLiteral("[%1] warning: %2").arg(address_, oneLine(text)));
}

}  // namespace tarvo::terminal
