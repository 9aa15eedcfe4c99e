// Reading the structured blocks and animals.tsv.
#include "content/structuredsource.h"

#include "content/structuredformat.h"
#include "text/boundedfile.h"
#include "text/cp1251.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>

namespace structuredsource {

namespace {

QString fault(const QString &file, int line, const QString &what)
{
    return QStringLiteral("%1:%2: %3").arg(file).arg(line).arg(what);
}

} // namespace

const QStringList &blockSections()
{
    static const QStringList names = {QString::fromLatin1(format::Strengths),
                                      QString::fromLatin1(format::Doses),
                                      QString::fromLatin1(format::Withdrawal)};
    return names;
}

bool isBlockSection(const QString &field)
{
    return blockSections().contains(field);
}

std::vector<Record> readBlock(const QString &section, const QStringList &body, int firstLine,
                              const QString &file, QStringList &errors)
{
    const QStringList &known = format::keys(section);
    std::vector<Record> records;
    bool open = false; // a row is being read: the last line was one of its keys
    for (int i = 0; i < body.size(); ++i) {
        const int line = firstLine + i;
        const QString &text = body.at(i);
        if (text.trimmed().isEmpty()) {
            open = false;
            continue;
        }
        if (!open) {
            records.push_back({line, {}});
            open = true;
        }
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        if (colon <= 0) {
            errors.append(fault(file, line, QStringLiteral("ожидается строка \"ключ: значение\"")));
            continue;
        }
        const QString key = text.left(colon).trimmed();
        if (!known.contains(key)) {
            errors.append(
                fault(file, line, QStringLiteral("неизвестный ключ %1 в разделе %2").arg(key, section)));
            continue;
        }
        Record &record = records.back();
        if (record.fields.count(key)) {
            errors.append(
                fault(file, line, QStringLiteral("ключ %1 повторяется в одной строке данных").arg(key)));
            continue;
        }
        const QString value = text.mid(colon + 1).trimmed();
        if (!value.isEmpty())
            record.fields[key] = {value, line};
    }
    for (const Record &record : records) {
        for (const QString &key : format::requiredKeys(section)) {
            if (!record.fields.count(key))
                errors.append(fault(file, record.line, QStringLiteral("нет ключа %1").arg(key)));
        }
    }
    return records;
}

void readSpecies(const QString &dir, ContentSet &set, QStringList &errors)
{
    const QString name = QString::fromLatin1(SpeciesFile);
    // A plain file only, read at most to its limit: a pipe or /dev/zero must not hang publishing.
    boundedfile::Result read = boundedfile::read(dir + QLatin1Char('/') + name, 1024 * 1024, true);
    if (read.status == boundedfile::Status::Missing)
        return;
    if (read.status != boundedfile::Status::Ok) {
        errors.append(QStringLiteral("%1: не удается прочитать (или больше 1 МБ)").arg(name));
        return;
    }
    QByteArray bytes = read.bytes;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError()) {
        errors.append(QStringLiteral("%1: текст не в кодировке UTF-8").arg(name));
        return;
    }
    text.remove(QLatin1Char('\r'));
    ContentTable &t = set.table(QStringLiteral("species"));
    QSet<qint64> ids;
    QSet<QString> codes;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const int line = i + 1;
        if (lines.at(i).trimmed().isEmpty())
            continue;
        const QStringList fields = lines.at(i).split(QLatin1Char('\t'));
        if (fields.size() != 4) {
            errors.append(fault(name, line, QStringLiteral("ожидается 4 поля через табуляцию")));
            continue;
        }
        bool ok = false;
        const qint64 id = fields.at(0).toLongLong(&ok);
        if (!ok || id < 1 || id > 0x7FFFFFFF || QString::number(id) != fields.at(0)) {
            errors.append(fault(name, line, QStringLiteral("неверный номер \"%1\"").arg(fields.at(0))));
            continue;
        }
        static const QRegularExpression code(QStringLiteral("^[a-z][a-z0-9_]{0,31}$"));
        if (!code.match(fields.at(1)).hasMatch()) {
            errors.append(fault(
                name, line,
                QStringLiteral("код вида \"%1\": строчные латинские буквы, цифры и _").arg(fields.at(1))));
            continue;
        }
        if (fields.at(2).trimmed().isEmpty() || fields.at(2) != fields.at(2).trimmed() ||
            !fitsCp1251(fields.at(2))) {
            errors.append(
                fault(name, line,
                      QStringLiteral("название вида пусто, с пробелами по краям или вне Windows-1251")));
            continue;
        }
        if (fields.at(3) != QLatin1String("0") && fields.at(3) != QLatin1String("1")) {
            errors.append(fault(name, line, QStringLiteral("признак продуктивного вида — 0 или 1")));
            continue;
        }
        if (ids.contains(id) || codes.contains(fields.at(1))) {
            errors.append(fault(name, line, QStringLiteral("номер или код вида повторяется")));
            continue;
        }
        ids.insert(id);
        codes.insert(fields.at(1));
        ContentRow &row = t.addRow(id);
        t.set(row, QStringLiteral("code"), fields.at(1));
        t.set(row, QStringLiteral("name"), fields.at(2));
        t.set(row, QStringLiteral("food"), fields.at(3));
    }
}

} // namespace structuredsource
