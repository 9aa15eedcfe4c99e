// The large synthetic reference.
#include "content/synth.h"

#include "content/synthstructured.h"

#include "content/synthwords.h"

#include "text/base64.h"
#include "text/cp1251.h"

#include <QtEndian>
#include <array>
#include <cmath>

namespace {

// splitmix64: the same sequence on every platform and compiler, unlike std distributions.
class Random
{
public:
    explicit Random(quint64 seed) : m_state(seed) {}
    quint64 next()
    {
        quint64 z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    int below(int n) { return n <= 0 ? 0 : int(next() % quint64(n)); }
    bool chance(int percent) { return below(100) < percent; }
    template <typename T, size_t N> const T &pick(const std::array<T, N> &items)
    {
        return items[size_t(below(int(N)))];
    }

private:
    quint64 m_state;
};

struct Stem
{
    const char *ru;
    const char *la;
};

const std::array<Stem, 40> kStems = {{
    {"Альбен", "Alben"},     {"Ивер", "Iver"},       {"Энро", "Enro"},     {"Амокси", "Amoxi"},
    {"Мелокс", "Melox"},     {"Флор", "Flor"},       {"Тетра", "Tetra"},   {"Докси", "Doxy"},
    {"Цефа", "Cefa"},        {"Гента", "Genta"},     {"Тило", "Tylo"},     {"Фенба", "Fenba"},
    {"Прази", "Prazi"},      {"Левами", "Levami"},   {"Клозан", "Closan"}, {"Дельта", "Delta"},
    {"Перме", "Perme"},      {"Фипро", "Fipro"},     {"Кето", "Keto"},     {"Декса", "Dexa"},
    {"Окси", "Oxy"},         {"Стрепто", "Strepto"}, {"Линко", "Linco"},   {"Спира", "Spira"},
    {"Колис", "Colis"},      {"Мокси", "Moxi"},      {"Селами", "Selami"}, {"Тримето", "Trimeto"},
    {"Сульфа", "Sulfa"},     {"Нитро", "Nitro"},     {"Бута", "Buta"},     {"Ксила", "Xyla"},
    {"Кета", "Keta"},        {"Лидо", "Lido"},       {"Новока", "Novoca"}, {"Йодо", "Iodo"},
    {"Хлоргек", "Chlorhex"}, {"Тора", "Tora"},       {"Марбо", "Marbo"},   {"Цефти", "Cefti"},
}};

const std::array<Stem, 16> kSuffixes = {{
    {"вет", "vet"},
    {"мек", "mec"},
    {"фарм", "pharm"},
    {"цил", "cil"},
    {"зол", "zol"},
    {"сан", "san"},
    {"мицин", "mycin"},
    {"флокс", "flox"},
    {"кар", "car"},
    {"дин", "din"},
    {"лен", "len"},
    {"тим", "tim"},
    {"вит", "vit"},
    {"плюс", "plus"},
    {"окс", "ox"},
    {"ин", "in"},
}};

const std::array<Stem, 12> kForms = {{
    {"раствор для инъекций", "solutio pro injectionibus"},
    {"таблетки", "tabulettae"},
    {"суспензия", "suspensio"},
    {"порошок", "pulvis"},
    {"мазь", "unguentum"},
    {"гель", "gelum"},
    {"капли", "guttae"},
    {"спрей", "spray"},
    {"гранулы", "granulae"},
    {"паста", "pasta"},
    {"эмульсия", "emulsio"},
    {"болюсы", "boli"},
}};

const std::array<const char *, 8> kSpecies = {
    "крупного рогатого скота",    "овец и коз", "свиней", "лошадей", "собак", "кошек",
    "сельскохозяйственной птицы", "кроликов"};
const std::array<const char *, 6> kRoutes = {"внутримышечно",        "подкожно", "перорально",
                                             "внутривенно медленно", "наружно",  "с питьевой водой"};
const std::array<const char *, 10> kDiseases = {
    "бронхопневмонии", "колибактериоза", "сальмонеллёза",  "мастита",    "эндометрита",
    "пастереллёза",    "аскаридоза",     "стронгилоидоза", "саркоптоза", "дерматита"};

const std::array<const char *, 12> kEffect = {
    "Действующее вещество подавляет синтез белка в клетках чувствительных микроорганизмов.",
    "Препарат активен в отношении грамположительных и грамотрицательных бактерий.",
    "После введения быстро всасывается и распределяется в органах и тканях животного.",
    "Максимальная концентрация в сыворотке крови достигается через 1–2 часа после применения.",
    "Терапевтическая концентрация сохраняется в течение 24 часов.",
    "Выводится из организма преимущественно с мочой и в меньшей степени с желчью.",
    "Обладает выраженным противовоспалительным, анальгезирующим и жаропонижающим действием.",
    "Нарушает передачу нервных импульсов у нематод, что приводит к их параличу и гибели.",
    "По степени воздействия на организм относится к умеренно опасным веществам.",
    "В рекомендуемых дозах не оказывает местнораздражающего и сенсибилизирующего действия.",
    "Эмбриотоксическим и тератогенным действием не обладает.",
    "Проникает через гематоэнцефалический барьер в незначительной степени.",
};
const std::array<const char *, 8> kSide = {
    "При соблюдении инструкции побочных явлений и осложнений, как правило, не наблюдается.",
    "В редких случаях возможна кратковременная болезненность в месте введения.",
    "У отдельных животных возможны аллергические реакции; в этом случае препарат отменяют.",
    "Возможны временное снижение аппетита и расстройство пищеварения.",
    "При появлении признаков непереносимости назначают антигистаминные средства.",
    "Отмечено кратковременное угнетение, проходящее без лечения.",
    "Местная реакция в виде небольшого отёка исчезает через 2–3 дня.",
    "Повышенная чувствительность к компонентам препарата встречается редко.",
};
const std::array<const char *, 8> kContra = {
    "Повышенная индивидуальная чувствительность к компонентам препарата.",
    "Тяжёлые нарушения функции печени и почек.",
    "Не применять животным в последней трети беременности.",
    "Не применять одновременно с другими препаратами этой группы.",
    "Противопоказан истощённым и больным инфекционными болезнями животным.",
    "Не применять молодняку в возрасте до 2 месяцев.",
    "Не применять лактирующим животным, молоко которых используется в пищевых целях.",
    "Не применять при обезвоживании организма.",
};
const std::array<const char *, 8> kSpecial = {
    "Убой животных на мясо разрешается не ранее чем через 28 суток после последнего применения.",
    "Молоко разрешается использовать в пищу через 4 суток после последнего введения.",
    "При работе с препаратом следует соблюдать общие правила личной гигиены и техники безопасности.",
    "Пустые флаконы запрещается использовать для бытовых целей; их утилизируют с бытовыми отходами.",
    "Мясо животных, вынужденно убитых до истечения срока, используют на корм непродуктивным животным.",
    "При попадании препарата на кожу или слизистые оболочки их промывают большим количеством воды.",
    "Следует избегать пропуска очередной дозы, так как это может привести к снижению эффективности.",
    "Перед применением флакон необходимо тщательно встряхнуть.",
};
const std::array<const char *, 6> kStorage = {
    "Хранить в закрытой упаковке производителя, в сухом, защищённом от света месте, при температуре от 5 до "
    "25 °C.",
    "Хранить отдельно от продуктов питания и кормов, в местах, недоступных для детей.",
    "Срок годности при соблюдении условий хранения — 2 года со дня производства.",
    "После вскрытия флакона препарат следует использовать в течение 28 суток.",
    "Не замораживать. Не применять по истечении срока годности.",
    "Хранить при температуре от 2 до 8 °C.",
};

const std::array<const char *, 24> kGroupWords = {
    "Антибиотики",
    "Пенициллины",
    "Тетрациклины",
    "Фторхинолоны",
    "Макролиды",
    "Аминогликозиды",
    "Сульфаниламиды",
    "Антигельминтики",
    "Инсектоакарициды",
    "Антипротозойные средства",
    "Гормональные средства",
    "Витамины",
    "Минеральные вещества",
    "Вакцины",
    "Сыворотки",
    "НПВС",
    "Анестетики",
    "Седативные средства",
    "Дезинфицирующие средства",
    "Офтальмологические средства",
    "Дерматологические средства",
    "Пробиотики",
    "Гепатопротекторы",
    "Иммуномодуляторы",
};
const std::array<const char *, 12> kCompanyWords = {"Агро", "Вет", "Био",  "Фарм", "Зоо",  "Мед",
                                                    "Нива", "Хим", "Лайф", "Тех",  "Пром", "Сервис"};
const std::array<const char *, 8> kCities = {"Москва",    "Санкт-Петербург", "Новосибирск",
                                             "Казань",    "Екатеринбург",    "Воронеж",
                                             "Краснодар", "Ростов-на-Дону"};
const std::array<const char *, 8> kImageNames = {"VIAL", "BLISTER", "SYRINGE", "PAW",
                                                 "COW",  "DOG",     "CHART",   "LOGO"};

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

QString pack(const QString &html, const QString &attachments = {})
{
    return QStringLiteral("<HTML>") + Base64EncodeString(encodeCp1251Html(html)) + QStringLiteral("</HTML>") +
           attachments;
}

template <size_t N> QString paragraph(Random &rnd, const std::array<const char *, N> &pool, int sentences)
{
    QString text = QStringLiteral("<p>");
    for (int i = 0; i < sentences; ++i) {
        if (i > 0)
            text += QLatin1Char(' ');
        text += u(rnd.pick(pool));
    }
    return text + QStringLiteral("</p>");
}

// Section texts sized so the packed fields of a product add up to about 6 KB.
template <size_t N> QString section(Random &rnd, const std::array<const char *, N> &pool, int targetChars)
{
    QString html;
    // Paragraphs on lines of their own, without a line feed after the last: a field as an
    // editor's source file gives it (sources are trimmed), so an export publishes back unchanged.
    while (html.size() < targetChars) {
        if (!html.isEmpty())
            html += QLatin1Char('\n');
        html += paragraph(rnd, pool, 2 + rnd.below(3));
    }
    return html;
}

QString doseText(Random &rnd, int targetChars)
{
    QString html = QStringLiteral("<table><tr><th>Вид животных</th><th>Доза</th><th>Способ</th></tr>");
    while (html.size() < targetChars) {
        html += QStringLiteral("<tr><td>%1</td><td>%2 мл на %3 кг массы животного</td><td>%4</td></tr>")
                    .arg(u(rnd.pick(kSpecies)))
                    .arg(1 + rnd.below(5))
                    .arg(5 * (1 + rnd.below(10)))
                    .arg(u(rnd.pick(kRoutes)));
    }
    return html + QStringLiteral("</table><p>Препарат применяют 1 раз в сутки в течение %1 дней.</p>")
                      .arg(3 + rnd.below(5));
}

QString prescriptionText(Random &rnd, int targetChars)
{
    QString html = QStringLiteral("<p>Лечение %1 при:</p><ul>").arg(u(rnd.pick(kSpecies)));
    while (html.size() < targetChars)
        html += QStringLiteral("<li>%1, вызванного чувствительными к препарату возбудителями;</li>")
                    .arg(u(rnd.pick(kDiseases)));
    return html + QStringLiteral("</ul>");
}

// PNG writer over zlib (qCompress output minus its 4-byte length prefix is a zlib stream).
void appendChunk(QByteArray &png, const char *type, const QByteArray &data)
{
    char length[4];
    qToBigEndian(quint32(data.size()), length);
    png.append(length, 4);
    QByteArray body(type, 4);
    body += data;
    png += body;
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320U ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 crc = 0xFFFFFFFFU;
    for (char ch : body)
        crc = table[(crc ^ quint8(ch)) & 0xFF] ^ (crc >> 8);
    char crcBytes[4];
    qToBigEndian(crc ^ 0xFFFFFFFFU, crcBytes);
    png.append(crcBytes, 4);
}

} // namespace

QByteArray synthImagePng(int variant, int width, int height)
{
    QByteArray raw;
    raw.reserve((width * 3 + 1) * height);
    const int r0 = 60 + (variant * 53) % 180, g0 = 80 + (variant * 97) % 160, b0 = 100 + (variant * 31) % 150;
    for (int y = 0; y < height; ++y) {
        raw += char(0); // no filter
        for (int x = 0; x < width; ++x) {
            const double dx = x - width / 2.0, dy = y - height / 2.0;
            const bool inside =
                std::sqrt(dx * dx + dy * dy) < std::min(width, height) * (0.2 + 0.03 * (variant % 5));
            const bool stripe = ((x + y * (variant % 3)) / (4 + variant % 4)) % 2 == 0;
            raw += char(inside ? r0 : stripe ? 255 : 235);
            raw += char(inside ? g0 : stripe ? 255 : 240);
            raw += char(inside ? b0 : stripe ? 255 : 250);
        }
    }
    QByteArray png("\x89PNG\r\n\x1A\n", 8);
    QByteArray header(13, '\0');
    qToBigEndian(quint32(width), header.data());
    qToBigEndian(quint32(height), header.data() + 4);
    header[8] = 8; // bit depth
    header[9] = 2; // RGB
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", qCompress(raw, 9).mid(4));
    appendChunk(png, "IEND", QByteArray());
    return png;
}

ContentSet generateSynthetic(const SynthOptions &options)
{
    Random rnd(options.seed);
    ContentSet set = ContentSet::empty();

    QStringList attachments;
    for (int i = 0; i < int(kImageNames.size()); ++i) {
        const QString name = QString::fromLatin1(kImageNames[size_t(i)]);
        attachments.append(QLatin1Char('<') + name + QLatin1Char('>') +
                           Base64EncodeString(synthImagePng(i, 96, 72)) + QStringLiteral("</") + name +
                           QLatin1Char('>'));
    }
    auto withImage = [&](QString html, int image) {
        html += QStringLiteral("<img src=\"%1\" class=\"f-right\">")
                    .arg(QString::fromLatin1(kImageNames[size_t(image)]));
        return pack(html, attachments.at(image));
    };

    // Groups: five levels, each level's parents drawn from the level above.
    ContentTable &sections = set.table(QStringLiteral("sections"));
    const std::array<double, 5> levelShare = {0.01, 0.06, 0.18, 0.33, 0.42};
    std::vector<qint64> previous{0};
    qint64 nextGroup = 0;
    for (size_t level = 0; level < levelShare.size() && nextGroup < options.groups; ++level) {
        std::vector<qint64> current;
        const int count = level + 1 == levelShare.size()
                              ? int(options.groups - nextGroup)
                              : std::max(1, int(std::lround(options.groups * levelShare[level])));
        for (int i = 0; i < count && nextGroup < options.groups; ++i) {
            const qint64 id = ++nextGroup;
            const qint64 parent = previous[size_t(rnd.below(int(previous.size())))];
            ContentRow &row = sections.addRow(id);
            sections.set(row, QStringLiteral("parent_id"), QString::number(parent));
            sections.set(row, QStringLiteral("name"),
                         QStringLiteral("%1 %2").arg(u(rnd.pick(kGroupWords))).arg(id));
            if (rnd.chance(80)) {
                const QString html = paragraph(rnd, kEffect, 2 + rnd.below(3));
                sections.set(row, QStringLiteral("description"),
                             rnd.chance(10) ? withImage(html, rnd.below(8)) : pack(html));
            }
            current.push_back(id);
        }
        previous = std::move(current);
    }

    auto makers = [&](const QString &table, int count, const char *kind, int describedPercent) {
        ContentTable &t = set.table(table);
        for (int id = 1; id <= count; ++id) {
            ContentRow &row = t.addRow(id);
            t.set(row, QStringLiteral("name"),
                  QStringLiteral("%1 «%2%3-%4»")
                      .arg(u(kind), u(rnd.pick(kCompanyWords)), u(rnd.pick(kCompanyWords)).toLower())
                      .arg(id));
            if (rnd.chance(describedPercent)) {
                const QString html =
                    QStringLiteral("<p>%1, г. %2.</p><p>Адрес сайта: https://example.org/%3/%4</p>")
                        .arg(u(kind), u(rnd.pick(kCities)), table)
                        .arg(id);
                t.set(row, QStringLiteral("description"), pack(html));
            }
        }
    };
    makers(QStringLiteral("vendors"), options.vendors, "ООО", 85);
    makers(QStringLiteral("distributors"), options.distributors, "ЗАО", 70);
    makers(QStringLiteral("dealers"), options.dealers, "ИП", 60);

    ContentTable &items = set.table(QStringLiteral("items"));
    for (int id = 1; id <= options.products; ++id) {
        ContentRow &row = items.addRow(id);
        const Stem &stem = rnd.pick(kStems);
        const Stem &suffix = rnd.pick(kSuffixes);
        const Stem &form = rnd.pick(kForms);
        const int strength = 1 + rnd.below(20);
        QString name =
            QStringLiteral("%1%2 %3% %4").arg(u(stem.ru), u(suffix.ru)).arg(strength).arg(u(form.ru));
        if (id % 97 == 0)
            name = QStringLiteral("%1-%2").arg(strength).arg(name); // names that start with a digit
        if (id % 89 == 0)
            name = QStringLiteral("Ёлочный %1").arg(name);
        if (id % 500 != 0) // a few products have only a Latin name
            items.set(row, QStringLiteral("name"), name);
        items.set(row, QStringLiteral("name_lat"),
                  QStringLiteral("%1%2 %3% %4").arg(u(stem.la), u(suffix.la)).arg(strength).arg(u(form.la)));
        const int image = rnd.chance(12) ? rnd.below(8) : -1;
        // The texts' own words come from a sequence of their own, so names and links stay
        // exactly what they were before the texts had them.
        SynthWords words(options.seed * 31 + quint64(id));
        auto field = [&](const char *column, const QString &generated, bool imageHere) {
            const QString html = words.rewrite(generated);
            items.set(row, QString::fromLatin1(column), imageHere ? withImage(html, image) : pack(html));
        };
        if (rnd.chance(70))
            field("description", paragraph(rnd, kEffect, 2), false);
        field("form",
              QStringLiteral("<p>%1 во флаконах по %2 мл.</p>").arg(u(form.ru)).arg(10 * (1 + rnd.below(50))),
              image >= 0);
        field("effect", section(rnd, kEffect, 950), false);
        field("prescriptions", prescriptionText(rnd, 450), false);
        field("dose", doseText(rnd, 700), false);
        if (rnd.chance(90))
            field("side_effects", section(rnd, kSide, 350), false);
        if (rnd.chance(90))
            field("CONTRA_INDICATION", section(rnd, kContra, 350), false);
        if (rnd.chance(85))
            field("special_conditions", section(rnd, kSpecial, 550), false);
        field("storage_instructions", section(rnd, kStorage, 250), false);
    }

    // About 6 links per product: 2 groups, 1.5 makers, 1.2 distributors, 1.3 dealers on average.
    auto link = [&](const QString &table, const QString &column, int targets, int minimum, int spread) {
        ContentTable &t = set.table(table);
        qint64 next = 0;
        for (int item = 1; item <= options.products && targets > 0; ++item) {
            const int count = minimum + rnd.below(spread);
            QList<qint64> chosen;
            for (int i = 0; i < count && chosen.size() < targets; ++i) {
                const qint64 target = 1 + rnd.below(targets);
                if (chosen.contains(target))
                    continue;
                chosen.append(target);
                ContentRow &row = t.addRow(++next);
                t.set(row, QStringLiteral("item_id"), QString::number(item));
                t.set(row, column, QString::number(target));
            }
        }
    };
    link(QStringLiteral("items_to_sections"), QStringLiteral("section_id"), options.groups, 1, 3);
    link(QStringLiteral("items_to_vendors"), QStringLiteral("vendor_id"), options.vendors, 1, 2);
    link(QStringLiteral("items_to_distributors"), QStringLiteral("distributor_id"), options.distributors, 0,
         3);
    link(QStringLiteral("items_to_dealers"), QStringLiteral("dealer_id"), options.dealers, 0, 4);

    addSyntheticStructuredRows(set, options.seed);

    set.meta.insert(
        QString::fromLatin1(contentmeta::Greeting),
        withImage(QStringLiteral("<p>Синтетический справочник для измерений производительности.</p>"), 7));
    set.assignStamps();
    return set;
}
