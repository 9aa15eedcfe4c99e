#include "content/contentindex.h"

#include "content/content.h"
#include "content/contentdb.h"
#include "search/textindex.h"

#include <QDateTime>

namespace contentindex {

QString publishTimeNow()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

void recordPublishTime(Database &db)
{
    Statement st = db.prepare(QStringLiteral("INSERT OR REPLACE INTO meta (key, value) VALUES (?1, ?2)"));
    st.bind(1, QString::fromLatin1(contentmeta::PublishedAt)).bind(2, publishTimeNow());
    st.run();
}

int buildIndex(const QString &contentPath, const std::function<void(int, int)> &progress)
{
    ContentDatabase content(contentPath);
    return textindex::build(content.database(), progress);
}

void preparePublished(const QString &contentPath)
{
    ContentDatabase content(contentPath);
    recordPublishTime(content.database());
    textindex::build(content.database());
}

} // namespace contentindex
