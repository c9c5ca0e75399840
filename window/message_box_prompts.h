#pragma once
// The window's answer to what a run asks: modal boxes over the window,
// with the application's name as their title.

#include "workflow/operator_prompts.h"

#include <QPointer>
#include <QWidget>

#include <functional>

namespace tarvo::window {

class MessageBoxPrompts final : public workflow::OperatorPrompts {
public:
    explicit MessageBoxPrompts(QWidget* parent = nullptr) : parent_(parent) {}

    void showMessage(const QString& text, workflow::MessageIcon icon) override;
    bool ask(const QString& text, workflow::MessageIcon icon, const QString& yes, const QString& no) override;

    // When set, messages are passed here instead of being shown, and every
    // question too, answered no, unless questionHandler answers it
    // (unattended runs and tests).
    std::function<void(const QString& text, workflow::MessageIcon icon)> messageHandler;
    std::function<bool(const QString& text)> questionHandler;

private:
    QPointer<QWidget> parent_;
};

}  // namespace tarvo::window
