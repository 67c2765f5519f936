#pragma once

#include <QString>

#include <optional>

struct SaveFileRequest
{
    // What the save does to a file that exists: a file that is appended to is not "replaced",
    // so the user is not asked whether to replace it.
    enum Existing { Replaces, Appends };

    QString title;
    QString filter; // as Qt writes filters: "Text Files (*.txt)"
    QString folder;
    QString fileName;
    Existing existing = Replaces;
};

// Asks the user for the name of a file to save to. The real program shows a file dialog;
// tests answer it themselves.
class SaveFilePrompter
{
public:
    virtual ~SaveFilePrompter() = default;

    // The full path chosen, or nothing when the user dismissed the question.
    virtual std::optional<QString> askSaveFileName(const SaveFileRequest& request) = 0;
};
