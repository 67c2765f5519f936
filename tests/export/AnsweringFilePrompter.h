#pragma once

#include "SaveFilePrompter.h"

#include <QList>

// Answers every file question at once with the given path, or as a dismissal, and keeps the
// questions, so a test sees what the dialog would have been asked.
class AnsweringFilePrompter final : public SaveFilePrompter
{
public:
    explicit AnsweringFilePrompter(std::optional<QString> answer)
        : answer(std::move(answer))
    {
    }

    std::optional<QString> askSaveFileName(const SaveFileRequest& request) override
    {
        requests.append(request);
        return answer;
    }

    std::optional<QString> answer;
    QList<SaveFileRequest> requests;
};
