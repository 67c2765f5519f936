#pragma once

#include "SaveFilePrompter.h"

// Asks with Qt's save-file dialog, over the window that asks. The toolkit's own question
// before choosing an existing file is kept.
class FileDialogPrompter final : public SaveFilePrompter
{
public:
    std::optional<QString> askSaveFileName(const SaveFileRequest& request) override;
};
