// The internal link scheme of the pages ("SECT:", "ITEM:", "VEND:", "DEAL:", "DIST:" and an id)
// and the test that sends web and mail links to the system instead.
#pragma once

#include <QString>
#include <QStringView>
#include <optional>

enum class LinkTarget { Section, Item, Vendor, Dealer, Distributor };

struct InternalLink
{
    LinkTarget target;
    qint64 id = 0;
};

// PageLinkClick's reading of a link: a-z in capitals, the first prefix (in the order SECT:,
// ITEM:, VEND:, DEAL:, DIST:) the text begins with, every occurrence of it removed, the rest
// trimmed and read as a decimal integer. nullopt for anything else. Linear in the text.
std::optional<InternalLink> parseInternalLink(QStringView text);

// Whether the trimmed link text in capitals begins with "HTTP", "FTP" or "MAILTO".
bool isShellLink(QStringView text);

// The prefix a target's links carry, e.g. "ITEM:".
QString linkPrefix(LinkTarget target);
