#include "window/message_box_prompts.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

namespace tarvo::window {

void MessageBoxPrompts::showMessage(const QString& text, workflow::MessageIcon icon)
{
    if (messageHandler) {
        messageHandler(text, icon);
        return;
    }
    // Over the window, not wherever the screen's centre is.
    QMessageBox box(icon == workflow::MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon,
                    QCoreApplication::applicationName(), text, QMessageBox::Ok, parent_);
    box.exec();
}

bool MessageBoxPrompts::ask(const QString& text, workflow::MessageIcon icon, const QString& yes, const QString& no)
{
    if (questionHandler)
        return questionHandler(text);
    if (messageHandler) {
        messageHandler(text, icon);
        return false;
    }
    QMessageBox box(icon == workflow::MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::Question,
                    QCoreApplication::applicationName(), text, QMessageBox::NoButton, parent_);
    QPushButton* yesButton = box.addButton(yes, QMessageBox::AcceptRole);
    QPushButton* noButton = box.addButton(no, QMessageBox::RejectRole);
    box.setDefaultButton(noButton);
    box.setEscapeButton(noButton);
    box.exec();
    return box.clickedButton() == yesButton;
}

}  // namespace tarvo::window
