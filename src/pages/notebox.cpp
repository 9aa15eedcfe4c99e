#include "pages/notebox.h"

#include "db/userdata.h"

#include <QRegularExpression>

namespace notebox {

namespace {
const QString kStart = QStringLiteral("<!--ramux-note-->");
const QString kEnd = QStringLiteral("<!--/ramux-note-->");
} // namespace

QString escapedText(const QString &text)
{
    QString normalised = text;
    normalised.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return normalised.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<BR>"));
}

QString html(const QString &note)
{
    if (note.trimmed().isEmpty())
        return QString();
    return kStart
           + QStringLiteral("<TABLE border=\"1\" cellspacing=\"0\" cellpadding=\"6\" width=\"100%\""
                            " style=\"border-color: #c8a951; border-style: solid; border-collapse: collapse;\">"
                            "<TR><TD bgcolor=\"#fff8dc\"><B>Моя заметка</B><BR>")
           + escapedText(note) + QStringLiteral("</TD></TR></TABLE><BR/>") + kEnd;
}

QString forItem(Database &db, qint64 itemId)
{
    try {
        const std::optional<userdata::UserItem> item = userdata::item(db, itemId);
        return item ? html(item->note) : QString();
    } catch (const std::exception &) {
        return QString();
    }
}

QString withoutNotes(const QString &pageHtml)
{
    static const QRegularExpression box(QRegularExpression::escape(kStart) + QStringLiteral(".*?")
                                            + QRegularExpression::escape(kEnd),
                                        QRegularExpression::DotMatchesEverythingOption);
    QString result = pageHtml;
    result.remove(box);
    return result;
}

} // namespace notebox
