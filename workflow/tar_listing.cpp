#include "workflow/tar_listing.h"

#include "link/controller_link.h"
#include "workflow/operator_texts.h"

#include <optional>
#include <set>

namespace tarvo::workflow {

namespace {
constexpr char kStatusRequest[] = "echo CMDVAL: $?";
constexpr char kStatusLine[] = "CMDVAL:";

QByteArray withoutTrailingBlanks(const QByteArray& line)
{
    qsizetype end = line.size();
    while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\t'))
        --end;
    return line.left(end);
}

// The top folders of the paths the command gives tar after its archive
// ("zel/", "media/"): every member tar lists begins with one of them.
std::set<QByteArray> memberFolders(const QByteArray& command)
{
    std::set<QByteArray> folders;
    const QList<QByteArray> words = command.simplified().split(' ');
    for (qsizetype i = 3; i < words.size(); ++i) {
        const qsizetype slash = words[i].indexOf('/');
        if (slash > 0)
            folders.insert(words[i].left(slash + 1));
    }
    return folders;
}

struct Echo {
    qsizetype firstLine = 0;
    qsizetype lastLine = 0;
    QByteArray prompt;
};

// The command's echo: a line that ends in the command's beginning, joined
// with the lines after it (a terminal breaks a long echo at its width)
// until the whole command stands there. The first such place counts.
std::optional<Echo> findEcho(const QList<QByteArray>& printed, const QByteArray& sent)
{
    if (sent.isEmpty())
        return std::nullopt;
    for (qsizetype i = 0; i < printed.size(); ++i) {
        const QByteArray& line = printed[i];
        for (qsizetype at = line.indexOf(sent[0]); at >= 0; at = line.indexOf(sent[0], at + 1)) {
            QByteArray joined = line.mid(at);
            qsizetype last = i;
            for (;;) {
                const QByteArray bare = withoutTrailingBlanks(joined);
                if (bare == sent)
                    return Echo{i, last, line.left(at)};
                if (!sent.startsWith(joined) || last + 1 >= printed.size())
                    break;
                joined += printed[++last];
            }
        }
    }
    return std::nullopt;
}

// The prompts the shell printed: the one the command's echo stands behind,
// and those in front of the status request's echo.
std::set<QByteArray> promptsOf(const QList<QByteArray>& printed, qsizetype from, const QByteArray& echoPrompt)
{
    std::set<QByteArray> prompts;
    if (!echoPrompt.isEmpty())
        prompts.insert(echoPrompt);
    for (qsizetype i = from; i < printed.size(); ++i) {
        const QByteArray bare = withoutTrailingBlanks(printed[i]);
        if (bare.endsWith(kStatusRequest) && bare.size() > qsizetype(sizeof kStatusRequest) - 1)
            prompts.insert(bare.left(bare.size() - qsizetype(sizeof kStatusRequest) + 1));
    }
    return prompts;
}

// A line that tar's listing may hold besides its members.
bool isShellsOwn(const QByteArray& line, const std::set<QByteArray>& prompts)
{
    const QByteArray bare = withoutTrailingBlanks(line);
    const auto behindPrompt = [&] {
        for (const QByteArray& prompt : prompts)
            if (line.startsWith(prompt) || withoutTrailingBlanks(prompt) == bare)
                return true;
        return false;
    };
    return bare.isEmpty() || bare.endsWith(kStatusRequest) || behindPrompt()
           || line.startsWith("tar:") || line.startsWith("tftp:") || line.endsWith("Handle")
           || link::isVersionReport(line);
}

bool isMember(const QByteArray& line, const std::set<QByteArray>& folders)
{
    for (const QByteArray& folder : folders)
        if (line.startsWith(folder) && line.size() > folder.size())
            return true;
    return false;
}
}  // namespace

TarListing tarListing(const QList<QByteArray>& printed, const QByteArray& command)
{
    // The echo may keep the command's trailing blank or drop it.
    const QByteArray sent = withoutTrailingBlanks(command);
    const std::set<QByteArray> folders = memberFolders(sent);
    TarListing listing;
    qsizetype first = 0;
    QByteArray prompt;
    if (const std::optional<Echo> echo = findEcho(printed, sent)) {
        first = echo->lastLine + 1;
        prompt = echo->prompt;
    } else {
        for (const QByteArray& line : printed)
            if (withoutTrailingBlanks(line).endsWith(kStatusRequest)) {
                // The shell echoes what it is sent, but not this command.
                listing.doubt = OperatorTexts::tarEchoMissing();
                return listing;
            }
    }
    const std::set<QByteArray> prompts = promptsOf(printed, first, prompt);
    for (qsizetype i = first; i < printed.size(); ++i) {
        const QByteArray& line = printed[i];
        if (line.startsWith(kStatusLine))
            return listing;
        if (isMember(line, folders))
            listing.members << QString::fromUtf8(line);
        else if (!isShellsOwn(line, prompts)) {
            listing.doubt = OperatorTexts::tarListingStrangeLine(QString::fromUtf8(line.left(200)));
            return listing;
        }
    }
    listing.doubt = OperatorTexts::tarListingCutShort();
    return listing;
}

}  // namespace tarvo::workflow
