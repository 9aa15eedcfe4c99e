#include "text/packedcontent.h"

#include "text/base64.h"
#include "text/cp1251.h"

#include <exception>

void scanPackedContent(QStringView text, const std::function<void(QString &name, QString &content)> &onElement)
{
    enum class State { Outside, Name, Content };
    State state = State::Outside;
    QString name;
    QString content;
    // Line breaks and blanks are no part of names or contents; what lies between them is
    // appended a run at a time (contents are Base64 of whole pages).
    const auto skipped = [](char16_t c) { return c == u'\n' || c == u'\r' || c == u' '; };
    const auto runEnd = [&](qsizetype from, char16_t stop) {
        while (from < text.size() && text[from].unicode() != stop && !skipped(text[from].unicode()))
            ++from;
        return from;
    };
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        const char16_t c = text[i].unicode();
        if (skipped(c)) {
            ++i;
            continue;
        }
        switch (state) {
        case State::Outside:
            if (c == u'<') {
                name.clear();
                content.clear();
                state = State::Name;
            }
            ++i;
            break;
        case State::Name:
            if (c == u'>') {
                state = State::Content;
                ++i;
            } else {
                const qsizetype end = runEnd(i, u'>');
                name.append(text.mid(i, end - i));
                i = end;
            }
            break;
        case State::Content:
            if (c == u'<') {
                onElement(name, content);
                state = State::Outside;
                ++i;
            } else {
                const qsizetype end = runEnd(i, u'<');
                content.append(text.mid(i, end - i));
                i = end;
            }
            break;
        }
    }
}

QStringView trimControlView(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 32)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
}

QString trimControl(QStringView text)
{
    return trimControlView(text).toString();
}

QString packedHtml(QStringView packed)
{
    QString html;
    try {
        scanPackedContent(packed, [&html](QString &name, QString &content) {
            if (trimControl(name).toUpper() != QLatin1String("HTML"))
                return;
            const QStringView data = trimControlView(content);
            QByteArray latin(data.size(), Qt::Uninitialized);
            char *out = latin.data();
            for (QChar ch : data) {
                const char16_t u = ch.unicode();
                *out++ = u < 128 ? static_cast<char>(u) : '\x01';
            }
            html += decodeCp1251(base64Decode(latin)) + QLatin1Char(' ');
        });
    } catch (const std::exception &) {
        // What was decoded before the fault still counts.
    }
    return html;
}
