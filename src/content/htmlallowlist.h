// A publisher's HTML reduced to what a reference page needs. The desktop view never acts on
// forms, refreshes or base addresses; a browser does, so the web reader passes every packed
// field through this before composing, and the publisher is told beforehand what it drops.
#pragma once

#include <QSet>
#include <QString>
#include <QStringView>
#include <QVector>

namespace htmlallowlist {

// Markup the list drops, at a line of the fragment (1 for the first).
struct Dropped
{
    int line = 1;
    QString what; // "<form>", "onclick у <p>", "href у <a>"
};

// Kept: the tags of text, lists, tables, headings, images and links, with href on a (http,
// https, mailto and the internal link schemes), src on img when it names one of `attachments`
// (any letter case), alt/width/height on img, colspan/rowspan on cells,
// border/cellpadding/cellspacing on table and class anywhere. script, style, template,
// iframe, object, svg, math and noscript go with their content; meta, base, link, embed,
// input, button, select and textarea alone; any other tag is unwrapped (its text stays).
// Comments go. Every value is written back quoted. `dropped`, when given, collects what went.
QString clean(QStringView html, const QSet<QString> &attachments, QVector<Dropped> *dropped = nullptr);

// A packed field ("<HTML>" + Base64 of Windows-1251 + "</HTML>" + attachments) with its HTML
// element cleaned against its own attachments; everything else as it was. A field whose HTML
// does not decode is returned unchanged (the composer reports it as it always has).
QString cleanPacked(const QString &packed);

} // namespace htmlallowlist
