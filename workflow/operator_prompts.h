#pragma once
// What a run asks of the front end it runs under: to show the operator a
// message and wait until it is closed, or to put a question and wait for
// the answer. The window shows modal boxes, the terminal writes a line and
// answers unattended, tests record and answer from a script. The run only
// reports; how it is shown is the front end's.

#include <QString>

namespace tarvo::workflow {

// The icon of a message: none, or the critical stop. Every message has
// one OK button.
enum class MessageIcon {
    None,
    Critical,
};

class OperatorPrompts {
public:
    virtual ~OperatorPrompts() = default;
    // Returns once the operator has closed the message.
    virtual void showMessage(const QString& text, MessageIcon icon) = 0;
    // True only for yes; no is the default and the answer to Escape.
    virtual bool ask(const QString& text, MessageIcon icon, const QString& yes, const QString& no) = 0;
};

}  // namespace tarvo::workflow
