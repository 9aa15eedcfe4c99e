#include "content/synthwords.h"

#include <array>

namespace {

// Cases in the order of the ending tables: nominative, genitive, dative, accusative,
// instrumental, prepositional; then the same six in the plural.
enum Case { Nom, Gen, Dat, Acc, Ins, Prep, Count };

// Masculine nouns ending in a hard consonant: diseases, agents, body parts.
const std::array<const char *, 84> kMasculine = {
    "гельминт", "паразит", "микроорганизм", "организм", "процесс", "синтез", "метаболит", "рецептор",
    "антиген", "фермент", "гормон", "витамин", "минерал", "токсин", "штамм", "эффект", "компонент",
    "препарат", "раствор", "флакон", "сустав", "нерв", "барьер", "механизм", "контакт", "симптом",
    "период", "курс", "режим", "тромбоцит", "лейкоцит", "эритроцит", "гепатоцит", "иммунитет",
    "абсцесс", "мастит", "энтерит", "гастрит", "дерматит", "артрит", "нефрит", "гепатит", "цистит",
    "бронхит", "ринит", "отит", "стоматит", "конъюнктивит", "кератит", "метрит", "эндометрит",
    "пиелонефрит", "миозит", "плеврит", "перитонит", "колит", "вагинит", "ламинит", "тендинит",
    "остеомиелит", "фурункулёз", "аскаридоз", "стронгилоидоз", "трихоцефалёз", "фасциолёз",
    "эймериоз", "токсоплазмоз", "бабезиоз", "пироплазмоз", "лептоспироз", "сальмонеллёз",
    "колибактериоз", "пастереллёз", "стрептококкоз", "стафилококкоз", "микоплазмоз", "хламидиоз",
    "трихофитоз", "микроспороз", "демодекоз", "саркоптоз", "отодектоз", "псороптоз", "диктиокаулёз"};
const std::array<const char *, 12> kMasculineEndings = {"", "а", "у", "", "ом", "е", "ы", "ов", "ам", "ы", "ами", "ах"};

// Feminine nouns in -а after a hard consonant.
const std::array<const char *, 22> kFeminine = {
    "доз", "форм", "систем", "мембран", "лимф", "плазм", "желез", "вакцин", "структур", "культур",
    "флор", "микрофлор", "сред", "вод", "масс", "температур", "процедур", "программ", "схем", "норм",
    "фаз", "ампул"};
const std::array<const char *, 12> kFeminineEndings = {"а", "ы", "е", "у", "ой", "е", "ы", "", "ам", "ы", "ами", "ах"};

// Feminine nouns in -ия.
const std::array<const char *, 22> kFeminineIa = {
    "суспенз", "инфекц", "реакц", "терап", "инваз", "популяц", "концентрац", "абсорбц", "экскрец",
    "интоксикац", "аллерг", "анем", "гипертерм", "дегидратац", "регенерац", "профилакт", "дегельминтизац",
    "вакцинац", "санац", "дезинфекц", "дезинсекц", "стад"};
const std::array<const char *, 12> kFeminineIaEndings = {"ия", "ии", "ии", "ию", "ией", "ии", "ии", "ий", "иям", "ии", "иями", "иях"};

// Neuter nouns in -ие.
const std::array<const char *, 40> kNeuter = {
    "воспален", "введен", "лечен", "применен", "заболеван", "поражен", "нарушен", "действ", "выделен",
    "всасыван", "распределен", "выведен", "угнетен", "раздражен", "повышен", "снижен", "отравлен",
    "истощен", "кровотечен", "обезвоживан", "размножен", "заражен", "инфицирован", "дозирован",
    "назначен", "исследован", "состоян", "течен", "образован", "восстановлен", "укреплен",
    "подавлен", "торможен", "проникновен", "накоплен", "созреван", "развит", "кормлен", "содержан",
    "обследован"};
const std::array<const char *, 12> kNeuterEndings = {"ие", "ия", "ию", "ие", "ием", "ии", "ия", "ий", "иям", "ия", "иями", "иях"};

// Adjectives with hard stems; endings by gender (m, f, n) and case, then the plural.
const std::array<const char *, 72> kAdjectives = {
    "остр", "подостр", "нов", "молод", "взросл", "слаб", "сильн", "быстр", "медленн", "активн",
    "местн", "кишечн", "лёгочн", "печёночн", "почечн", "кожн", "мышечн", "суставн", "гнойн", "серозн",
    "катаральн", "фибринозн", "инфекционн", "инвазионн", "паразитарн", "бактериальн", "вирусн",
    "грибков", "токсичн", "лечебн", "ветеринарн", "продуктивн", "непродуктивн", "беременн", "молочн",
    "мясн", "племенн", "пушн", "декоративн", "служебн", "спортивн", "устойчив", "чувствительн",
    "резистентн", "вторичн", "первичн", "смешанн", "массов", "единичн", "тяжёл", "умеренн", "выраженн",
    "длительн", "кратковременн", "повторн", "однократн", "ежедневн", "суточн", "разов", "максимальн",
    "минимальн", "рекомендуем", "допустим", "внутримышечн", "подкожн", "внутривенн", "пероральн",
    "наружн", "внутриматочн", "интрацистернальн", "внутрибрюшинн", "слизист"};
const std::array<std::array<const char *, 6>, 3> kAdjectiveEndings = {{
    {"ый", "ого", "ому", "ый", "ым", "ом"},
    {"ая", "ой", "ой", "ую", "ой", "ой"},
    {"ое", "ого", "ому", "ое", "ым", "ом"},
}};
const std::array<const char *, 6> kAdjectivePlural = {"ые", "ых", "ым", "ые", "ыми", "ых"};

const std::array<const char *, 12> kVerbs = {
    "вызывает", "снижает", "усиливает", "подавляет", "нарушает", "ускоряет", "замедляет",
    "предупреждает", "облегчает", "устраняет", "ослабляет", "восстанавливает"};
const std::array<const char *, 10> kSpeciesGenitive = {
    "коров", "телят", "поросят", "свиноматок", "овец", "ягнят", "собак", "кошек", "лошадей", "кроликов"};
const std::array<const char *, 8> kLinks = {"при", "после", "во время", "в период", "на фоне", "в случае",
                                            "до", "без"};
// The case each link word asks for.
const std::array<int, 8> kLinkCases = {Prep, Gen, Gen, Gen, Gen, Gen, Gen, Gen};

QString capitalised(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

} // namespace

int SynthWords::below(int n)
{
    // splitmix64, as the generator's own sequence.
    quint64 z = (m_state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return n <= 0 ? 0 : int(z % quint64(n));
}

// gender: 0 masculine, 1 feminine, 2 neuter; grammaticalCase 0-5, +6 for the plural.
QString SynthWords::nounPhrase(int gender, int grammaticalCase)
{
    QString noun;
    switch (gender) {
    case 0:
        noun = QString::fromUtf8(kMasculine[size_t(below(int(kMasculine.size())))])
               + QString::fromUtf8(kMasculineEndings[size_t(grammaticalCase)]);
        break;
    case 1:
        if (below(2) == 0)
            noun = QString::fromUtf8(kFeminine[size_t(below(int(kFeminine.size())))])
                   + QString::fromUtf8(kFeminineEndings[size_t(grammaticalCase)]);
        else
            noun = QString::fromUtf8(kFeminineIa[size_t(below(int(kFeminineIa.size())))])
                   + QString::fromUtf8(kFeminineIaEndings[size_t(grammaticalCase)]);
        break;
    default:
        noun = QString::fromUtf8(kNeuter[size_t(below(int(kNeuter.size())))])
               + QString::fromUtf8(kNeuterEndings[size_t(grammaticalCase)]);
        break;
    }
    const QString stem = QString::fromUtf8(kAdjectives[size_t(below(int(kAdjectives.size())))]);
    const QString ending = QString::fromUtf8(grammaticalCase >= 6 ? kAdjectivePlural[size_t(grammaticalCase - 6)]
                                                                  : kAdjectiveEndings[size_t(gender)][size_t(grammaticalCase)]);
    return stem + ending + QLatin1Char(' ') + noun;
}

QString SynthWords::sentence()
{
    const int plural = below(3) == 0 ? 6 : 0;
    QString text = nounPhrase(below(3), Nom + plural);
    text += QLatin1Char(' ') + QString::fromUtf8(kVerbs[size_t(below(int(kVerbs.size())))]);
    text += QLatin1Char(' ') + nounPhrase(below(3), Acc + (below(2) ? 6 : 0));
    const int link = below(int(kLinks.size()));
    text += QLatin1Char(' ') + QString::fromUtf8(kLinks[size_t(link)]) + QLatin1Char(' ')
            + nounPhrase(below(3), kLinkCases[size_t(link)] + (below(3) == 0 ? 6 : 0));
    if (below(2) == 0)
        text += QStringLiteral(" у ") + QString::fromUtf8(kSpeciesGenitive[size_t(below(int(kSpeciesGenitive.size())))]);
    return capitalised(text) + QLatin1Char('.');
}

QString SynthWords::rewrite(const QString &html)
{
    QString out;
    out.reserve(html.size() + 64);
    qsizetype at = 0;
    for (;;) {
        // The next paragraph or list item.
        const qsizetype p = html.indexOf(QLatin1String("<p>"), at);
        const qsizetype li = html.indexOf(QLatin1String("<li>"), at);
        qsizetype open = p < 0 ? li : (li < 0 ? p : qMin(p, li));
        if (open < 0)
            break;
        const bool isItem = open == li;
        const qsizetype start = open + (isItem ? 4 : 3);
        const qsizetype close = html.indexOf(isItem ? QLatin1String("</li>") : QLatin1String("</p>"), start);
        if (close < 0)
            break;
        out += html.mid(at, start - at);
        const qsizetype length = close - start;
        if (below(2) == 0) {
            QString text;
            while (text.size() < length)
                text += (text.isEmpty() ? QString() : QStringLiteral(" ")) + sentence();
            out += text;
        } else {
            out += html.mid(start, length);
        }
        at = close;
    }
    out += html.mid(at);
    return out;
}
