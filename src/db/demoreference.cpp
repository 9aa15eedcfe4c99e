#include "db/demoreference.h"

#include "db/options.h"
#include "db/sqlitedb.h"
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
        if (list.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)
                .contains(QLatin1String("demo-content"), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

bool holdsDemo(Database &db)
{
    if (const std::optional<QString> greeting = readStoredSplash(db); greeting && !trimControl(*greeting).isEmpty())
        return marksDemo(packedHtml(*greeting));
    if (!db.hasTable(QStringLiteral("user_settings")))
        return false;
    Statement st = db.prepare(QStringLiteral("SELECT value FROM user_settings WHERE key = ?1"));
    st.bind(1, kOriginKey);
    return st.step() && st.text(0) == QLatin1String("demo");
}

void markWrittenFromDemo(Database &db)
{
    userdata::ensureTables(db);
    Statement st = db.prepare(QStringLiteral("INSERT OR REPLACE INTO user_settings (key, value) VALUES (?1, ?2)"));
    st.bind(1, kOriginKey);
    st.bind(2, QStringLiteral("demo"));
    st.run();
}

} // namespace demoreference
