// The sheet on paper (and in the window's preview): the clinic, the patient, each line as a
// sentence for the owner with its quote in small print, the combined withdrawal, chosen
// instruction sections and the "data as of" line. HTML for a text document; no widgets.
#pragma once

#include "answers/sheet.h"

#include <QMap>
#include <QString>
#include <QStringList>

struct SheetPrintOptions
{
    QString clinic;
    QString vet;
    QString dataAsOf;
    bool demo = false; // the reference is the demo content
    // Per product: the instruction's own sections as plain text; empty maps print none.
    QMap<qint64, QString> sideEffects;
    QMap<qint64, QString> storage;
    // Per line (same index): what was printed before when today's result differs.
    QStringList printedBefore;
};

QString sheetHtml(const SheetComposition &sheet, const SheetPrintOptions &options);

// "мясо", "молоко" with the state or release for the combined table: the cells of one tissue.
QString combinedReleaseText(const CombinedTissue &tissue); // "08.03.2027 20:00", "—", "не допускается"
QString changedSincePrintText(const QString &before);    // "изменилось после печати: было …"
QString demoNoticeText();
