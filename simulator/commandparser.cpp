#include "simulator/commandparser.h"

namespace tarvo::simulator {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

}  // namespace

ParsedLine CommandParser::parse(const QByteArray& line)
{
    // A line that does not parse runs nothing, not even its first part.
    ParsedLine result = parseCommands(line);
    if (!result.syntaxError.isEmpty())
        result.commands.clear();
    return result;
}

ParsedLine CommandParser::parseCommands(const QByteArray& line)
{
    ParsedLine result;
    SimpleCommand current;
    Word word;
    bool inWord = false;
    bool expectRedirectTarget = false;

    const auto endWord = [&]() -> bool {
        if (!inWord)
            return true;
        if (expectRedirectTarget) {
            current.redirectTarget = word;
            expectRedirectTarget = false;
        } else {
            current.words << word;
        }
        word.clear();
        inWord = false;
        return true;
    };
    const auto addText = [&](WordPart::Quoting q, const QByteArray& text) {
        if (!word.isEmpty() && word.last().quoting == q)
            word.last().text += text;
        else
            word << WordPart{text, q};
        inWord = true;
    };
    const auto endCommand = [&](SimpleCommand::Link nextLink) -> bool {
        endWord();
        if (expectRedirectTarget) {
            result.syntaxError = "syntax error: unexpected newline";
            return false;
        }
        if (current.words.isEmpty() && !current.hasRedirect) {
            if (nextLink != SimpleCommand::Always) {
                result.syntaxError = "syntax error: unexpected \"" +
                                     QByteArray(nextLink == SimpleCommand::IfSuccess ? "&&" : "||") + "\"";
                return false;
            }
        } else {
            result.commands << current;
        }
        current = SimpleCommand{};
        current.link = nextLink;
        return true;
    };

    for (int i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (isBlank(c)) {
            endWord();
            continue;
        }
        if (c == '#' && !inWord) {
            break;
        }
        if (c == '\'') {
            const int end = line.indexOf('\'', i + 1);
            if (end < 0) {
                result.syntaxError = "syntax error: unterminated quoted string";
                return result;
            }
            addText(WordPart::SingleQuoted, line.mid(i + 1, end - i - 1));
            i = end;
            continue;
        }
        if (c == '"') {
            QByteArray text;
            int j = i + 1;
            for (; j < line.size() && line[j] != '"'; ++j) {
                if (line[j] == '\\' && j + 1 < line.size() &&
                    QByteArray("\"\\$`").contains(line[j + 1])) {
                    ++j;
                    // An escaped "$" must not expand: keep it apart.
                    if (line[j] == '$') {
                        addText(WordPart::DoubleQuoted, text);
                        addText(WordPart::Escaped, "$");
                        text.clear();
                        continue;
                    }
                }
                text += line[j];
            }
            if (j >= line.size()) {
                result.syntaxError = "syntax error: unterminated quoted string";
                return result;
            }
            addText(WordPart::DoubleQuoted, text);
            i = j;
            continue;
        }
        if (c == '\\') {
            if (i + 1 < line.size()) {
                addText(WordPart::Escaped, QByteArray(1, line[i + 1]));
                ++i;
            }
            continue;
        }
        if (c == ';') {
            if (!endCommand(SimpleCommand::Always))
                return result;
            continue;
        }
        if (c == '&' && i + 1 < line.size() && line[i + 1] == '&') {
            ++i;
            if (!endCommand(SimpleCommand::IfSuccess))
                return result;
            continue;
        }
        if (c == '|' && i + 1 < line.size() && line[i + 1] == '|') {
            ++i;
            if (!endCommand(SimpleCommand::IfFailure))
                return result;
            continue;
        }
        if (c == '|' || c == '&' || c == '<') {
            result.syntaxError = "syntax error: \"" + QByteArray(1, c) + "\" is not supported here";
            return result;
        }
        if (c == '>') {
            endWord();
            current.hasRedirect = true;
            current.append = i + 1 < line.size() && line[i + 1] == '>';
            if (current.append)
                ++i;
            expectRedirectTarget = true;
            continue;
        }
        addText(WordPart::Unquoted, QByteArray(1, c));
    }
    if (!endCommand(SimpleCommand::Always))
        return result;
    return result;
}

}  // namespace tarvo::simulator
