#include "workflow/run_record.h"

#include "workflow/operator_texts.h"

namespace tarvo::workflow {

void RunRecord::begin(const QString& title, const QString& heading)
{
    log_(QStringLiteral("\r\n\r\n"));
    log_(title + QStringLiteral("\r\n"));
    transcript_.begin(heading);
}

void RunRecord::line(const QString& text, bool record)
{
    log_(QStringLiteral("\r\n") + text);
    if (record)
        add(text);
}

void RunRecord::note(const QString& text, bool record)
{
    log_(QStringLiteral("\r\n[") + text + QLatin1Char(']'));
    if (record)
        add(text);
}

void RunRecord::sent(const QByteArray& line)
{
    transcript_.add(pcside::Transcript::Source::Sent, QString::fromLatin1(line));
}

void RunRecord::received(const QString& text)
{
    log_(text);
    transcript_.add(pcside::Transcript::Source::Received, text.mid(2));  // each line comes after a CR LF
}

void RunRecord::serverLine(const QString& line)
{
    transcript_.add(pcside::Transcript::Source::Server, line);
    log_(QStringLiteral("\r\n") + OperatorTexts::serverLine(line));
}

bool RunRecord::save(platform::FileSystem& files, const QString& folder, const QString& outcome,
                     const QString& controller)
{
    add(QStringLiteral("outcome: ") + outcome);
    return pcside::saveTranscript(files, folder, transcript_, controller);
}

}  // namespace tarvo::workflow
