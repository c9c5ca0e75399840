#include "workflow/tar_listing.h"

namespace tarvo::workflow {

namespace {
constexpr char kStatusRequest[] = "echo CMDVAL: $?";

QByteArray withoutTrailingBlanks(const QByteArray& line)
{
    qsizetype end = line.size();
    while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\t'))
        --end;
    return line.left(end);
}

// A line of the shell's, or of something else on the controller: never a
// member. A member's name starts at the root's folders, so none of these
// can be one.
bool isShellsOwn(const QByteArray& line, const QByteArray& command, const QByteArray& prompt)
{
    const QByteArray bare = withoutTrailingBlanks(line);
    return line.isEmpty() || line.startsWith("CMDVAL:") || bare.endsWith(kStatusRequest) || bare.endsWith(command)
           || (!prompt.isEmpty() && line.startsWith(prompt)) || line.startsWith("tar:") || line.startsWith("tftp:")
           || line.endsWith("Handle");
}
}  // namespace

QStringList tarListing(const QList<QByteArray>& printed, const QByteArray& command)
{
    // The echo may keep the command's trailing blank or drop it.
    const QByteArray sent = withoutTrailingBlanks(command);
    qsizetype first = 0;
    QByteArray prompt;
    for (qsizetype i = 0; i < printed.size(); ++i) {
        const QByteArray bare = withoutTrailingBlanks(printed[i]);
        if (!sent.isEmpty() && bare.endsWith(sent)) {
            first = i + 1;
            prompt = bare.left(bare.size() - sent.size());
            break;
        }
    }
    QStringList members;
    for (qsizetype i = first; i < printed.size(); ++i)
        if (!isShellsOwn(printed[i], sent, prompt))
            members << QString::fromUtf8(printed[i]);
    return members;
}

}  // namespace tarvo::workflow
