#pragma once
// The record of one run and the lines of the log that go with it: what the
// tool did and said, what went to the controller and came back, what the
// PC's TFTP server printed. The log shows each of them as a line of its
// own; a note of the tool's stands in brackets.

#include "pcside/transcript.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace tarvo::platform {
class FileSystem;
}

namespace tarvo::workflow {

class RunRecord {
public:
    // log receives text for the end of the log.
    explicit RunRecord(std::function<void(const QString&)> log) : log_(std::move(log)) {}

    // A new run: the log and the record begin with its heading.
    void begin(const QString& title, const QString& heading);

    // A line of the tool's in the log; recorded too when record is set.
    void line(const QString& text, bool record = false);
    // A note of the tool's in the log, in brackets; recorded too when
    // record is set.
    void note(const QString& text, bool record = false);
    // A line of the tool's in the record only.
    void add(const QString& text) { transcript_.add(pcside::Transcript::Source::Tool, text); }

    // What went to the controller and came back (text comes after a CR LF).
    void sent(const QByteArray& line);
    void received(const QString& text);
    // A line the PC's TFTP server printed.
    void serverLine(const QString& line);

    // Ends the record with the run's outcome and saves it into folder,
    // named by the controller's address (empty when it was none).
    bool save(platform::FileSystem& files, const QString& folder, const QString& outcome,
              const QString& controller);

    const pcside::Transcript& transcript() const { return transcript_; }

private:
    std::function<void(const QString&)> log_;
    pcside::Transcript transcript_;
};

}  // namespace tarvo::workflow
