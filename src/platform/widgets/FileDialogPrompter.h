#pragma once

#include "SaveFilePrompter.h"

// Asks with Qt's save-file dialog, over the window that asks. The toolkit asks before an
// existing file is replaced, but not before one is appended to.
class FileDialogPrompter final : public SaveFilePrompter
{
public:
    std::optional<QString> askSaveFileName(const SaveFileRequest& request) override;
};
