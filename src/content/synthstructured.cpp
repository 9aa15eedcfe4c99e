// Synthetic structured rows.
#include "content/synthstructured.h"

#include "search/plaintext.h"

#include <QRegularExpression>

namespace {

struct SpeciesEntry
{
    qint64 id;
    const char *code;
    const char *name;
    bool food;
    const char *genitive; // as the synthetic dose tables name it
};

const SpeciesEntry kSpecies[] = {
    {1, "dog", "собаки", false, "собак"},
    {2, "cat", "кошки", false, "кошек"},
    {3, "cattle", "крупный рогатый скот", true, "крупного рогатого скота"},
    {4, "sheep", "овцы и козы", true, "овец и коз"},
    {5, "pig", "свиньи", true, "свиней"},
    {6, "horse", "лошади", true, "лошадей"},
    {7, "chicken", "куры", true, "сельскохозяйственной птицы"},
    {8, "rabbit", "кролики", true, "кроликов"},
    {9, "bee", "пчёлы", true, nullptr},
};

// The share of products with structured rows, as in the demo (75 of 161).
constexpr int kPercent = 47;
constexpr int kMaxDoseRows = 3; // the demo has 2.4 per product with rows

} // namespace

void addSyntheticStructuredRows(ContentSet &set, quint64 seed)
{
    ContentTable &species = set.table(QStringLiteral("species"));
    QString alternatives;
    for (const SpeciesEntry &s : kSpecies) {
        ContentRow &row = species.addRow(s.id);
        species.set(row, QStringLiteral("code"), QString::fromLatin1(s.code));
        species.set(row, QStringLiteral("name"), QString::fromUtf8(s.name));
        species.set(row, QStringLiteral("food"), s.food ? QStringLiteral("1") : QStringLiteral("0"));
        if (s.genitive)
            alternatives +=
                (alternatives.isEmpty() ? QString() : QStringLiteral("|")) + QString::fromUtf8(s.genitive);
    }
    // A dose table row of the synthetic texts, as plain text: "свиней 3 мл на 25 кг массы животного",
    // written as it stands: 3 мл per 25 kg.
    const QRegularExpression row(
        QStringLiteral("(%1) (([0-9]+) мл на ([0-9]+) кг массы животного)").arg(alternatives));
    // The meat period the synthetic special conditions may state, quoted as written.
    const QString meatQuote = QStringLiteral(
        "Убой животных на мясо разрешается не ранее чем через 28 суток после последнего применения.");

    const ContentTable &items = set.table(QStringLiteral("items"));
    const int doseAt = items.columnIndex(QStringLiteral("dose"));
    const int latinAt = items.columnIndex(QStringLiteral("name_lat"));
    const int formAt = items.columnIndex(QStringLiteral("form"));
    const int specialAt = items.columnIndex(QStringLiteral("special_conditions"));
    static const QRegularExpression percent(QStringLiteral(" ([0-9]+)% "));
    ContentTable &strengths = set.table(QStringLiteral("item_strengths"));
    ContentTable &doses = set.table(QStringLiteral("item_doses"));
    ContentTable &withdrawals = set.table(QStringLiteral("item_withdrawals"));
    qint64 nextStrength = 0, nextDose = 0, nextWithdrawal = 0;
    for (const ContentRow &item : items.rows) {
        // Which products: a hash of the seed and the id, not the generator's sequence, so the
        // nine tables stay exactly what they were.
        if ((quint64(item.id) * 2654435761ULL + seed) % 100 >= kPercent)
            continue;
        const QString dose = packedToPlainText(item.values.value(doseAt).value_or(QString()));
        const auto strength = percent.match(item.values.value(latinAt).value_or(QString()));
        if (!strength.hasMatch())
            continue;
        const QString itemId = QString::number(item.id);
        const bool meatPeriod = packedToPlainText(item.values.value(specialAt).value_or(QString()))
                                    .contains(meatQuote);
        ContentRow &s = strengths.addRow(++nextStrength);
        strengths.set(s, QStringLiteral("item_id"), itemId);
        strengths.set(s, QStringLiteral("ord"), QStringLiteral("1"));
        strengths.set(s, QStringLiteral("form"),
                      packedToPlainText(item.values.value(formAt).value_or(QString()))
                          .section(QLatin1Char(' '), 0, 0)
                          .toLower());
        strengths.set(s, QStringLiteral("amount"), strength.captured(1));
        strengths.set(s, QStringLiteral("amount_unit"), QStringLiteral("%"));
        strengths.set(s, QStringLiteral("per_unit"), QStringLiteral("мл"));

        QStringList seen;
        int ord = 0, withdrawalOrd = 0;
        for (auto it = row.globalMatch(dose); it.hasNext() && ord < kMaxDoseRows;) {
            const auto m = it.next();
            const SpeciesEntry *sp = nullptr;
            for (const SpeciesEntry &e : kSpecies) {
                if (e.genitive && m.captured(1) == QString::fromUtf8(e.genitive))
                    sp = &e;
            }
            if (!sp || seen.contains(QString::fromLatin1(sp->code)))
                continue;
            seen.append(QString::fromLatin1(sp->code));
            ContentRow &d = doses.addRow(++nextDose);
            doses.set(d, QStringLiteral("item_id"), itemId);
            doses.set(d, QStringLiteral("ord"), QString::number(++ord));
            doses.set(d, QStringLiteral("species_id"), QString::number(sp->id));
            doses.set(d, QStringLiteral("dose_from"), m.captured(3));
            doses.set(d, QStringLiteral("dose_unit"), QStringLiteral("мл"));
            doses.set(d, QStringLiteral("basis"), m.captured(4) + QStringLiteral(" kg"));
            doses.set(d, QStringLiteral("source_field"), QStringLiteral("dose"));
            doses.set(d, QStringLiteral("source_quote"), m.captured(2));
            if (!sp->food || !meatPeriod)
                continue;
            ContentRow &w = withdrawals.addRow(++nextWithdrawal);
            withdrawals.set(w, QStringLiteral("item_id"), itemId);
            withdrawals.set(w, QStringLiteral("ord"), QString::number(++withdrawalOrd));
            withdrawals.set(w, QStringLiteral("species_id"), QString::number(sp->id));
            withdrawals.set(w, QStringLiteral("tissue"), QStringLiteral("meat"));
            withdrawals.set(w, QStringLiteral("period"), QStringLiteral("28"));
            withdrawals.set(w, QStringLiteral("period_unit"), QStringLiteral("d"));
            withdrawals.set(w, QStringLiteral("forbidden"), QStringLiteral("0"));
            withdrawals.set(w, QStringLiteral("source_field"), QStringLiteral("special_conditions"));
            withdrawals.set(w, QStringLiteral("source_quote"), meatQuote);
        }
    }
}
