#include "db/notesfile.h"

#include "db/keptsheets.h"
#include "db/sqlitedb.h"
#include "db/userdata.h"
#include "text/boundedfile.h"
#include "text/ramuxerror.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QVector>
#include <cmath>
#include <limits>

namespace notesfile {

namespace {

const QString kFormat = QStringLiteral("ramux-notes");
// A notes file is small; anything near this size is not one and is not read into memory.
constexpr qint64 kMaxFileBytes = qint64(64) * 1024 * 1024;

[[noreturn]] void refuse(const QString &why)
{
    throw RamuxError(QStringLiteral("Файл заметок не принят: %1. Ничего не изменено.").arg(why));
}

// A \uD800 escape without its pair parses into a string that cannot be stored as UTF-8.
bool hasLoneSurrogate(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return true;
    }
    return false;
}

qint64 readId(const QJsonValue &value, int index)
{
    const double number = value.toDouble(std::nan(""));
    if (!value.isDouble() || !std::isfinite(number) || number != std::floor(number)
        || number < double(std::numeric_limits<qint32>::min()) || number > double(std::numeric_limits<qint32>::max()))
        refuse(QStringLiteral("у записи %1 нет целого номера препарата").arg(index + 1));
    return qint64(number);
}

userdata::UserItem readRecord(const QJsonValue &value, int index)
{
    if (!value.isObject())
        refuse(QStringLiteral("запись %1 не является объектом").arg(index + 1));
    const QJsonObject o = value.toObject();
    userdata::UserItem item;
    item.id = readId(o.value(QStringLiteral("id")), index);
    const QJsonValue favourite = o.value(QStringLiteral("favourite"));
    if (!favourite.isUndefined() && !favourite.isBool())
        refuse(QStringLiteral("у записи %1 поле favourite не логическое").arg(index + 1));
    item.favourite = favourite.toBool(false);
    const QJsonValue note = o.value(QStringLiteral("note"));
    if (!note.isUndefined() && !note.isString())
        refuse(QStringLiteral("у записи %1 заметка не текст").arg(index + 1));
    item.note = note.toString();
    if (hasLoneSurrogate(item.note))
        refuse(QStringLiteral("заметка записи %1 содержит испорченный символ").arg(index + 1));
    if (item.note.size() > userdata::kMaxNoteLength)
        refuse(QStringLiteral("заметка записи %1 длиннее %2 знаков").arg(index + 1).arg(userdata::kMaxNoteLength));
    if (item.note.trimmed().isEmpty())
        item.note.clear();
    const QJsonValue name = o.value(QStringLiteral("name"));
    if (!name.isUndefined() && !name.isString() && !name.isNull())
        refuse(QStringLiteral("у записи %1 название не текст").arg(index + 1));
    item.lastName = name.toString();
    if (hasLoneSurrogate(item.lastName))
        refuse(QStringLiteral("название записи %1 содержит испорченный символ").arg(index + 1));
    item.changed = userdata::parseStamp(o.value(QStringLiteral("changed")).toString());
    if (!item.changed.isValid())
        refuse(QStringLiteral("у записи %1 нет даты изменения").arg(index + 1));
    return item;
}

struct Parsed
{
    QVector<userdata::UserItem> records;
    QList<keptsheets::Sheet> sheets;
};

// The `sheets` key is optional: a file from before kept sheets has none.
QList<keptsheets::Sheet> readSheets(const QJsonValue &value)
{
    QList<keptsheets::Sheet> sheets;
    if (value.isUndefined())
        return sheets;
    if (!value.isArray())
        refuse(QStringLiteral("список листов назначения повреждён"));
    const QJsonArray array = value.toArray();
    for (int i = 0; i < array.size(); ++i) {
        QString why;
        const auto sheet = array.at(i).isObject() ? keptsheets::fromJson(array.at(i).toObject(), &why) : std::nullopt;
        if (!sheet)
            refuse(QStringLiteral("лист назначения %1: %2").arg(i + 1).arg(why.isEmpty() ? QStringLiteral("не объект") : why));
        sheets << *sheet;
    }
    return sheets;
}

Parsed parse(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        refuse(QStringLiteral("файл повреждён или это не файл заметок"));
    const QJsonObject root = document.object();
    if (root.value(QStringLiteral("format")).toString() != kFormat)
        refuse(QStringLiteral("это не файл заметок"));
    const QJsonValue version = root.value(QStringLiteral("version"));
    if (!version.isDouble() || version.toDouble() < 1 || version.toDouble() != std::floor(version.toDouble()))
        refuse(QStringLiteral("неизвестная версия файла"));
    if (version.toDouble() > kVersion)
        refuse(QStringLiteral("файл записан более новой версией программы"));
    const QJsonValue items = root.value(QStringLiteral("items"));
    if (!items.isArray())
        refuse(QStringLiteral("в файле нет списка записей"));
    Parsed parsed;
    const QJsonArray array = items.toArray();
    parsed.records.reserve(array.size());
    for (int i = 0; i < array.size(); ++i)
        parsed.records.push_back(readRecord(array.at(i), i));
    parsed.sheets = readSheets(root.value(QStringLiteral("sheets")));
    return parsed;
}

} // namespace

QByteArray exportNotes(Database &db)
{
    QJsonArray items;
    for (const userdata::UserItem &item : userdata::allItems(db)) {
        QJsonObject o;
        o.insert(QStringLiteral("id"), double(item.id));
        o.insert(QStringLiteral("name"), userdata::referenceName(db, item.id).value_or(item.lastName));
        o.insert(QStringLiteral("favourite"), item.favourite);
        o.insert(QStringLiteral("note"), item.note);
        o.insert(QStringLiteral("changed"), userdata::formatStamp(item.changed.isValid() ? item.changed : userdata::nowUtc()));
        items.append(o);
    }
    QJsonObject root;
    root.insert(QStringLiteral("format"), kFormat);
    root.insert(QStringLiteral("version"), kVersion);
    root.insert(QStringLiteral("items"), items);
    QJsonArray sheets;
    for (const keptsheets::Sheet &sheet : keptsheets::all(db))
        sheets.append(keptsheets::toJson(sheet));
    root.insert(QStringLiteral("sheets"), sheets);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

ImportResult importNotes(Database &db, const QByteArray &json)
{
    const Parsed parsed = parse(json); // refuses before anything is written
    const QVector<userdata::UserItem> &records = parsed.records;
    userdata::ensureTables(db);
    ImportResult result;
    Transaction transaction(db);
    // Later records of the same id in one file compete with the earlier ones the same way.
    QHash<qint64, userdata::UserItem> merged;
    for (const userdata::UserItem &record : records) {
        auto it = merged.find(record.id);
        if (it == merged.end()) {
            if (std::optional<userdata::UserItem> here = userdata::item(db, record.id))
                it = merged.insert(record.id, *here);
        }
        if (it != merged.end() && it->changed.isValid() && record.changed <= it->changed) {
            ++result.kept;
            continue;
        }
        userdata::UserItem winner = record;
        // The reference's own name is the better one while the product is there.
        if (const std::optional<QString> name = userdata::referenceName(db, record.id))
            winner.lastName = *name;
        else if (winner.lastName.isEmpty() && it != merged.end())
            winner.lastName = it->lastName;
        userdata::store(db, winner);
        merged.insert(record.id, winner);
        ++result.taken;
    }
    for (keptsheets::Sheet sheet : parsed.sheets) {
        const std::optional<keptsheets::Sheet> here = keptsheets::find(db, sheet.id);
        if (here && sheet.changed <= here->changed) {
            ++result.kept;
            continue;
        }
        keptsheets::store(db, sheet, true);
        ++result.taken;
    }
    transaction.commit();
    return result;
}

void exportToFile(Database &db, const QString &path)
{
    const QByteArray json = exportNotes(db);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit())
        throw RamuxError(QStringLiteral("Не удалось записать файл %1: %2").arg(path, file.errorString()));
}

ImportResult importFromFile(Database &db, const QString &path)
{
    // Bounded whatever the path is (a device such as /dev/zero never ends).
    const boundedfile::Result file = boundedfile::read(path, kMaxFileBytes, false);
    switch (file.status) {
    case boundedfile::Status::Ok:
        break;
    case boundedfile::Status::TooBig:
        refuse(QStringLiteral("файл слишком большой для файла заметок"));
    case boundedfile::Status::NotRegular:
        throw RamuxError(QStringLiteral("Не удалось открыть файл %1: это папка").arg(path));
    case boundedfile::Status::Missing:
    case boundedfile::Status::Unreadable:
        throw RamuxError(QStringLiteral("Не удалось открыть файл %1: %2").arg(path, file.reason));
    }
    return importNotes(db, file.bytes);
}

} // namespace notesfile
