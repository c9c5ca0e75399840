#pragma once
// The record of one run: every line sent to the controller, everything it
// sent back, the PC's TFTP server's lines and the outcome, each with the
// time. Saved after the run; the newest ones are kept.

#include <QString>
#include <QStringList>

namespace tarvo::platform {
class FileSystem;
}

namespace tarvo::pcside {

class Transcript {
public:
    enum class Source { Tool, Sent, Received, Server };

    void begin(const QString& title);
    void add(Source source, const QString& text);
    QString text() const { return lines_.join(QLatin1Char('\n')) + QLatin1Char('\n'); }
    bool isEmpty() const { return lines_.isEmpty(); }

    // Transcripts kept in the transcript folder.
    static constexpr int kKept = 100;

private:
    QStringList lines_;
    qsizetype chars_ = 0;
    bool full_ = false;
};

// Saves transcript in folder under the time it is saved and the controller
// it is of (runs at the same moment get names of their own), and removes
// the oldest beyond Transcript::kKept. False when it could not be written.
bool saveTranscript(platform::FileSystem& files, const QString& folder, const Transcript& transcript,
                    const QString& controller);

}  // namespace tarvo::pcside
