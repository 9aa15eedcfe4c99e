#include "pages/ui/screenfit.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextOption>
#include <QTextTable>

namespace {

bool tooWide(const QTextLength &length)
{
    return length.type() == QTextLength::FixedLength ||
           (length.type() == QTextLength::PercentageLength && length.rawValue() > 100);
}

void fitTable(QTextTable *table)
{
    QTextTableFormat format = table->format();
    if (tooWide(format.width()))
        format.setWidth(QTextLength());
    QVector<QTextLength> columns = format.columnWidthConstraints();
    for (QTextLength &column : columns) {
        if (tooWide(column))
            column = QTextLength();
    }
    format.setColumnWidthConstraints(columns);
    table->setFormat(format);

    // "nowrap" cells become lines that may break.
    QTextCursor cursor(table->document());
    for (QTextBlock block = table->firstCursorPosition().block();
         block.isValid() && block.position() <= table->lastPosition(); block = block.next()) {
        if (!block.blockFormat().nonBreakableLines())
            continue;
        QTextBlockFormat blockFormat = block.blockFormat();
        blockFormat.setNonBreakableLines(false);
        cursor.setPosition(block.position());
        cursor.setBlockFormat(blockFormat);
    }
}

void fitFrames(QTextFrame *frame, int depth)
{
    // Nesting is bounded by the page's markup; the bound only guards the stack.
    if (depth > 64)
        return;
    for (QTextFrame *child : frame->childFrames()) {
        if (auto *table = qobject_cast<QTextTable *>(child))
            fitTable(table);
        fitFrames(child, depth + 1);
    }
}

} // namespace

void fitTablesToView(QTextDocument *document)
{
    QTextOption option = document->defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document->setDefaultTextOption(option);
    fitFrames(document->rootFrame(), 0);
}
