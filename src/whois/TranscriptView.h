#pragma once

#include <QPlainTextEdit>
#include <QTimer>

// A lookup's transcript on screen: plain text the user can select and copy but not edit.
// Pieces are added at the end of the document in place, so a long answer is shown in linear
// time, and what the user has selected stays selected while more arrives.
//
// A line ends, as a text box shows it, at CR CR LF (an answer's CR LF in the transcript), at
// CR LF, at a lone CR or at a lone LF; what is selected and copied is the text as shown.
class TranscriptView final : public QPlainTextEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TranscriptView)

public:
    explicit TranscriptView(QWidget* parent = nullptr);

    // The piece is shown within a frame: the pieces that arrive until then are added together.
    void appendPiece(const QString& piece);
    // Adds what waits to be shown now.
    void showPending();

private:
    // Where the end of the text so far stands in a line end that may go on in the next piece:
    // after its first CR (the line break is taken), or after CR CR (the second CR is held back
    // until the next character tells whether it is a line end of its own).
    enum class LineEnd { None, AfterCr, AfterCrCr };

    void takeLines(const QString& piece);

    QString m_pending;
    LineEnd m_lineEnd = LineEnd::None;
    QTimer m_showTimer;
};
