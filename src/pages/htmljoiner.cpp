#include "pages/htmljoiner.h"

#include "text/base64.h"
#include "text/cp1251.h"
#include "text/packedcontent.h"

namespace {
thread_local PackedFieldFilter::Filter packedFilter = nullptr;
}

PackedFieldFilter::PackedFieldFilter(Filter filter) : m_previous(packedFilter)
{
    packedFilter = filter;
}

PackedFieldFilter::~PackedFieldFilter()
{
    packedFilter = m_previous;
}

void THTMLJoiner::AddHTML(const QString &text)
{
    m_body += text;
}

void THTMLJoiner::AddPacked(QStringView text)
{
    QString filtered;
    if (packedFilter) {
        filtered = packedFilter(text.toString());
        text = filtered;
    }
    scanPackedContent(text, [this](QString &name, QString &content) {
        if (trimControl(name).toUpper() == QLatin1String("HTML")) {
            const QString data = trimControl(content);
            QByteArray latin(data.size(), Qt::Uninitialized);
            for (qsizetype i = 0; i < data.size(); ++i) {
                const char16_t u = data[i].unicode();
                latin[i] = u < 128 ? static_cast<char>(u) : '\x01'; // rejected by the decoder
            }
            m_body += decodeCp1251(base64Decode(latin));
        } else {
            m_attachments += QLatin1Char('<') + name + QLatin1Char('>') + content + QLatin1String("</") + name
                             + QLatin1Char('>');
        }
    });
}

QString THTMLJoiner::GetDocument() const
{
    return QLatin1String("<HTML>") + Base64EncodeString(encodeCp1251Html(m_body)) + QLatin1String("</HTML>")
           + m_attachments;
}
