// The path list of the prompt sheets.
#include "app/ui/PathList.h"

#include <memory>

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>

#include "app/ui/TextStyle.h"

namespace veldo::ui {

namespace {

constexpr int kInset = 10;
constexpr int kRowSpacing = 4;

} // namespace

PathList::PathList(const QStringList& paths, int maximumHeight, QWidget* parent)
    : InsetWell(parent), m_paths(paths), m_maximumHeight(maximumHeight), m_view(new QTextEdit(this))
{
    m_view->setObjectName(QStringLiteral("textView"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_view);
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setReadOnly(true);
    m_view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_view->setFocusPolicy(Qt::StrongFocus);
    m_view->setTabChangesFocus(true);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_view->setLineWrapMode(QTextEdit::WidgetWidth);
    m_view->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_view->viewport()->setAutoFillBackground(false);
    m_view->setAutoFillBackground(false);
    m_view->setFont(monospacedTextFont(TextStyle::caption, font()));
    m_view->document()->setDocumentMargin(kInset);

    QTextCursor cursor(m_view->document());
    QTextBlockFormat row;
    row.setBottomMargin(kRowSpacing);
    for (qsizetype i = 0; i < paths.size(); ++i) {
        if (i > 0)
            cursor.insertBlock(row);
        else
            cursor.setBlockFormat(row);
        // A line break inside a path is a line separator: it stays in the path's paragraph.
        QString text = paths[i];
        text.replace(QLatin1Char('\n'), QChar(QChar::LineSeparator));
        cursor.insertText(text);
    }
    m_view->moveCursor(QTextCursor::Start);
    setMaximumHeight(m_maximumHeight);
}

int PathList::heightForWidth(int width) const
{
    const std::unique_ptr<QTextDocument> measure(m_view->document()->clone());
    measure->setDefaultFont(m_view->font());
    measure->setTextWidth(qMax(1, width - m_view->verticalScrollBar()->sizeHint().width()));
    return qMin(m_maximumHeight, qCeil(measure->size().height()));
}

void PathList::fitWidth(int width)
{
    setFixedHeight(heightForWidth(width));
}

QSize PathList::sizeHint() const
{
    const int w = qMax(width(), 200);
    return {w, heightForWidth(w)};
}

QSize PathList::minimumSizeHint() const
{
    return {0, qMin(m_maximumHeight, m_view->fontMetrics().height() + 2 * kInset)};
}

} // namespace veldo::ui
