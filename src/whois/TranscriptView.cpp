#include "TranscriptView.h"

#include "PlainText.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

// Lines of a paragraph in the middle of a piece; a paragraph is laid out whole when any of it
// is shown.
constexpr int LinesPerParagraph = 64;
// Showing a piece costs a layout of the last screenful of lines; pieces that arrive in quick
// succession are shown together, once a frame.
constexpr std::chrono::milliseconds FrameTime{16};

} // namespace

TranscriptView::TranscriptView(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Nothing here can be undone, and an undo record would double the memory of a long answer.
    setUndoRedoEnabled(false);
    setTabChangesFocus(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_showTimer.setSingleShot(true);
    m_showTimer.setInterval(FrameTime);
    connect(&m_showTimer, &QTimer::timeout, this, &TranscriptView::showPending);
}

// The piece's line ends become line separators, appended to what waits to be shown.
void TranscriptView::takeLines(const QString& piece)
{
    const qsizetype before = m_pending.size();
    m_pending.resize(before + piece.size() + 1);
    QChar* out = m_pending.data() + before;
    for (const QChar c : piece) {
        switch (m_lineEnd) {
        case LineEnd::None:
            *out++ = c == u'\r' || c == u'\n' ? QChar(QChar::LineSeparator) : c;
            m_lineEnd = c == u'\r' ? LineEnd::AfterCr : LineEnd::None;
            break;
        case LineEnd::AfterCr:
            if (c != u'\r' && c != u'\n')
                *out++ = c;
            m_lineEnd = c == u'\r' ? LineEnd::AfterCrCr : LineEnd::None;
            break;
        case LineEnd::AfterCrCr:
            // The held CR was no part of a CR CR LF: it is a line end, and one may begin here.
            if (c == u'\n') {
                m_lineEnd = LineEnd::None;
                break;
            }
            *out++ = QChar::LineSeparator;
            if (c != u'\r') {
                *out++ = c;
                m_lineEnd = LineEnd::None;
            }
            break;
        }
    }
    m_pending.truncate(out - m_pending.constData());
}

void TranscriptView::appendPiece(const QString& piece)
{
    takeLines(DisplayText(piece));
    if (!m_showTimer.isActive())
        m_showTimer.start();
}

// The lines go into the document in a few paragraphs of many lines each, broken by line
// separators: a paragraph a line would make the document's own bookkeeping, not the text, the
// cost of a long answer. The first line end ends a paragraph, so that only the line the text
// begins in is laid out at once; so do the last line ends, a screenful of them, which the view
// lays out to size its scroll bar.
void TranscriptView::showPending()
{
    m_showTimer.stop();
    if (m_pending.isEmpty())
        return;
    QString shown = std::exchange(m_pending, QString());
    // A line is higher than its font's ascent, so this is a screenful and some more.
    const int screenLines = viewport()->height() / std::max(1, fontMetrics().ascent()) + 1;
    int lineEnds = 0;
    qsizetype firstBreak = -1;
    for (qsizetype at = shown.size() - 1; at >= 0; --at) {
        if (shown[at] != QChar::LineSeparator)
            continue;
        if (lineEnds < screenLines || lineEnds % LinesPerParagraph == 0)
            shown[at] = QChar::ParagraphSeparator;
        ++lineEnds;
        firstBreak = at;
    }
    if (firstBreak >= 0)
        shown[firstBreak] = QChar::ParagraphSeparator;
    // In an edit block the cursor does not lay its paragraph out to learn where it stands.
    QTextCursor end(document());
    end.beginEditBlock();
    end.movePosition(QTextCursor::End);
    end.insertText(shown);
    end.endEditBlock();
}
