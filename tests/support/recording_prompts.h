#pragma once
// The front end of a run in virtual time: records every message and
// question with the virtual time it came at, and answers from a script.

#include "virtual_platform.h"
#include "workflow/operator_prompts.h"

#include <functional>
#include <vector>

namespace tarvo::test {

class RecordingPrompts final : public workflow::OperatorPrompts {
public:
    explicit RecordingPrompts(platform::VirtualPlatform& clock) : clock_(clock) {}

    struct MessageRecord {
        QString text;
        workflow::MessageIcon icon;
        std::int64_t atMs;
    };
    std::vector<MessageRecord> messages;
    // Runs while the message is "open", before it returns.
    std::function<void(const MessageRecord&)> onMessageBox;
    // Questions, with their answers; each is answered no unless answer
    // says yes.
    struct QuestionRecord {
        QString text;
        workflow::MessageIcon icon;
        QString yes;
        QString no;
        std::int64_t atMs;
    };
    std::vector<QuestionRecord> questions;
    std::function<bool(const QuestionRecord&)> answer;

    void showMessage(const QString& text, workflow::MessageIcon icon) override
    {
        messages.push_back({text, icon, clock_.nowMs()});
        if (onMessageBox)
            onMessageBox(messages.back());
    }
    bool ask(const QString& text, workflow::MessageIcon icon, const QString& yes, const QString& no) override
    {
        questions.push_back({text, icon, yes, no, clock_.nowMs()});
        return answer && answer(questions.back());
    }

private:
    platform::VirtualPlatform& clock_;
};

}  // namespace tarvo::test
