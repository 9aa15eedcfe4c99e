// Link texts come from page markup the server sent. The reading must agree with a plain
// restatement of the rule (first prefix in the fixed order, every occurrence removed, the rest
// trimmed of codes 0-32 and read as a decimal qint64), and a result must survive being written
// back as a link.
#include "pages/links.h"

#include <QString>

#include <cstdlib>
#include <limits>
#include <optional>

namespace {

std::optional<InternalLink> reference(const QString &text)
{
    static const LinkTarget order[] = {LinkTarget::Section, LinkTarget::Item, LinkTarget::Vendor,
                                       LinkTarget::Dealer, LinkTarget::Distributor};
    QString upper;
    for (QChar ch : text)
        upper += (ch >= u'a' && ch <= u'z') ? QChar(ch.unicode() - 32) : ch;
    for (LinkTarget target : order) {
        const QString prefix = linkPrefix(target);
        if (!upper.startsWith(prefix))
            continue;
        QString rest = upper;
        rest.replace(prefix, QString());
        qsizetype from = 0;
        qsizetype to = rest.size();
        while (from < to && rest.at(from).unicode() <= 32)
            ++from;
        while (to > from && rest.at(to - 1).unicode() <= 32)
            --to;
        const QString number = rest.mid(from, to - from);
        // Only ASCII digits after an optional sign; QString::toLongLong alone would take more.
        qsizetype i = (number.startsWith(u'-') || number.startsWith(u'+')) ? 1 : 0;
        if (i == number.size())
            return std::nullopt;
        for (qsizetype j = i; j < number.size(); ++j)
            if (number.at(j) < u'0' || number.at(j) > u'9')
                return std::nullopt;
        bool ok = false;
        const qint64 id = number.toLongLong(&ok, 10);
        if (!ok)
            return std::nullopt;
        return InternalLink{target, id};
    }
    return std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Half the inputs as UTF-8, half as UTF-16 so any code unit, lone surrogates included, occurs.
    QString text;
    if (size % 2 == 0)
        text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    else
        text = QString(reinterpret_cast<const QChar *>(data), qsizetype(size / 2));

    const std::optional<InternalLink> link = parseInternalLink(text);
    const std::optional<InternalLink> expected = reference(text);
    if (link.has_value() != expected.has_value())
        std::abort();
    if (link) {
        if (link->target != expected->target || link->id != expected->id)
            std::abort();
        // The id written back as digits under its prefix reads as the same link.
        const QString again = linkPrefix(link->target) + QString::number(link->id);
        const std::optional<InternalLink> round = parseInternalLink(again);
        if (!round || round->target != link->target || round->id != link->id)
            std::abort();
        // A link to an internal page is never sent to the system.
        if (isShellLink(text))
            std::abort();
    }
    return 0;
}
