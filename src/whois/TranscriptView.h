#pragma once

#include <QPlainTextEdit>

// A lookup's transcript on screen: plain text the user can select and copy but not edit.
// Pieces are added at the end of the document in place, so a long answer is shown in linear
// time, and what the user has selected stays selected while more arrives.
class TranscriptView final : public QPlainTextEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TranscriptView)

public:
    explicit TranscriptView(QWidget* parent = nullptr);

    void appendPiece(const QString& piece);
};
