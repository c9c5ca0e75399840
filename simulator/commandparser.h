#pragma once
// Splits a shell line into simple commands the way sh does for the subset
// the controller is sent: quoting, backslash escapes, ";", "&&", "||",
// comments and output redirection. Expansion is left to the interpreter.

#include <QByteArray>
#include <QList>

namespace tarvo::simulator {

struct WordPart {
    enum Quoting { Unquoted, SingleQuoted, DoubleQuoted, Escaped };
    QByteArray text;
    Quoting quoting = Unquoted;
};

using Word = QList<WordPart>;

struct SimpleCommand {
    enum Link { Always, IfSuccess, IfFailure };
    Link link = Always;  // how it depends on the status of the previous one
    QList<Word> words;
    bool hasRedirect = false;
    bool append = false;
    Word redirectTarget;
};

struct ParsedLine {
    QList<SimpleCommand> commands;
    QByteArray syntaxError;  // empty when the line parsed
};

class CommandParser {
public:
    static ParsedLine parse(const QByteArray& line);

private:
    static ParsedLine parseCommands(const QByteArray& line);
};

}  // namespace tarvo::simulator
