#include "text/packedcontent.h"

void scanPackedContent(QStringView text, const std::function<void(QString &name, QString &content)> &onElement)
{
    enum class State { Outside, Name, Content };
    State state = State::Outside;
    QString name;
    QString content;
    for (QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c == u'\n' || c == u'\r' || c == u' ')
            continue;
        switch (state) {
        case State::Outside:
            if (c == u'<') {
                name.clear();
                content.clear();
                state = State::Name;
            }
            break;
        case State::Name:
            if (c == u'>')
                state = State::Content;
            else
                name.append(ch);
            break;
        case State::Content:
            if (c == u'<') {
                onElement(name, content);
                state = State::Outside;
            } else {
                content.append(ch);
            }
            break;
        }
    }
}

QString trimControl(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 32)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 32)
        --end;
    return text.mid(begin, end - begin).toString();
}
