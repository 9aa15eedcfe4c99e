#include "db/demoreference.h"

#include "db/options.h"
#include "db/userdata.h"
#include "text/packedcontent.h"

#include <QRegularExpression>

namespace demoreference {

namespace {

const QString kOriginKey = QStringLiteral("reference_origin");

} // namespace

bool marksDemo(QStringView html)
{
    static const QRegularExpression classes(
        QStringLiteral("<[a-z][^>]*\\sclass\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s>]+))"),
        QRegularExpression::CaseInsensitiveOption);
    for (auto it = classes.globalMatch(html.toString()); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString list = m.captured(1) + QLatin1Char(' ') + m.captured(2) + QLatin1Char(' ') + m.captured(3);
        if (list.simplified().split(QLatin1Char(' ')).contains(QLatin1String("demo-content"), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

bool holdsDemo(Database &db)
{
    if (const std::optional<QString> greeting = readStoredSplash(db); greeting && !trimControl(*greeting).isEmpty())
        return marksDemo(packedHtml(*greeting));
    return userdata::setting(db, kOriginKey) == QLatin1String("demo");
}

void markWrittenFromDemo(Database &db)
{
    userdata::setSetting(db, kOriginKey, QStringLiteral("demo"));
}

} // namespace demoreference
