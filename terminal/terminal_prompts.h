#pragma once
// The terminal's answer to what a run asks: a message becomes a line of
// the controller's report, and a question is answered no, unattended.

#include "workflow/operator_prompts.h"

#include <functional>

namespace tarvo::terminal {

class TerminalPrompts final : public workflow::OperatorPrompts {
public:
    explicit TerminalPrompts(std::function<void(const QString& text)> say) : say_(std::move(say)) {}
    void showMessage(const QString& text, workflow::MessageIcon) override { say_(text); }
    bool ask(const QString& text, workflow::MessageIcon, const QString&, const QString&) override
    {
        say_(text);
        return false;
    }

private:
    std::function<void(const QString& text)> say_;
};

}  // namespace tarvo::terminal
