#include "TranscriptView.h"

#include "PlainText.h"

TranscriptView::TranscriptView(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Nothing here can be undone, and an undo record would double the memory of a long answer.
    setUndoRedoEnabled(false);
    setTabChangesFocus(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void TranscriptView::appendPiece(const QString& piece)
{
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(DisplayText(piece));
}
