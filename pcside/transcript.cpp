#include "pcside/transcript.h"

#include "platform/file_system.h"
#include "tftp/client_folder.h"

#include <QDateTime>

namespace tarvo::pcside {

namespace {
// Bounds a run's record the way the log view is bounded: lines, and
// characters (a controller's lines may each be 64 KiB long). The tool's own
// lines (messages, the outcome) are few and always kept.
constexpr qsizetype kMaxLines = 200000;
constexpr qsizetype kMaxChars = 16 * 1024 * 1024;

const char* mark(Transcript::Source source)
{
    switch (source) {
    case Transcript::Source::Tool: return "  ";
    case Transcript::Source::Sent: return "> ";
    case Transcript::Source::Received: return "< ";
    case Transcript::Source::Server: return "S ";
    }
    return "  ";
}
}  // namespace

void Transcript::begin(const QString& title)
{
    lines_.clear();
    chars_ = 0;
    full_ = false;
    add(Source::Tool, title);
}

void Transcript::add(Source source, const QString& text)
{
    if (source != Source::Tool && (lines_.size() >= kMaxLines || chars_ >= kMaxChars)) {
        if (!full_)
            lines_ << QStringLiteral("  [the record is full: further lines of the controller and the server are "
                                     "left out]");
        full_ = true;
        return;
    }
    chars_ += text.size();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz "));
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        QString clean = line;
        clean.remove(QLatin1Char('\r'));
        lines_ << stamp + QLatin1String(mark(source)) + clean;
    }
}

bool saveTranscript(platform::FileSystem& files, const QString& folder, const Transcript& transcript,
                    const QString& controller)
{
    const QString stem = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")) + QLatin1Char('_')
                         + (controller.isEmpty() ? QStringLiteral("none") : tftp::clientFolderName(controller));
    QString path = folder + QLatin1Char('/') + stem + QStringLiteral(".log");
    for (int n = 2; files.fileExists(path); ++n)
        path = folder + QLatin1Char('/') + stem + QStringLiteral("-%1.log").arg(n);
    if (!files.writeFile(path, transcript.text().toUtf8()))
        return false;
    QStringList saved = files.fileNames(folder);
    while (saved.size() > Transcript::kKept)
        files.removeFile(folder + QLatin1Char('/') + saved.takeFirst());
    return true;
}

}  // namespace tarvo::pcside
