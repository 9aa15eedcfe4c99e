#include "app/sheetsettingsbox.h"

#include "db/sheetsettings.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcSheetSettings, "ramux.sheet.settings")

SheetSettingsBox::SheetSettingsBox(Database &db, QWidget *parent)
    : QGroupBox(QStringLiteral(" Лист назначения "), parent), m_db(db)
{
    setObjectName(QStringLiteral("GroupBoxSheet"));
    auto *form = new QFormLayout(this);
    form->setContentsMargins(8, 4, 8, 6);
    m_clinic = new QLineEdit(this);
    m_clinic->setObjectName(QStringLiteral("SheetClinic"));
    m_clinic->setAccessibleName(QStringLiteral("Клиника"));
    m_clinic->setPlaceholderText(QStringLiteral("название и адрес клиники"));
    m_clinic->setMaxLength(300);
    m_vet = new QLineEdit(this);
    m_vet->setObjectName(QStringLiteral("SheetVet"));
    m_vet->setAccessibleName(QStringLiteral("Ветеринарный врач"));
    m_vet->setPlaceholderText(QStringLiteral("фамилия и инициалы врача"));
    m_vet->setMaxLength(200);
    form->addRow(QStringLiteral("Клиника:"), m_clinic);
    form->addRow(QStringLiteral("Ветеринарный врач:"), m_vet);
    connect(m_clinic, &QLineEdit::editingFinished, this, &SheetSettingsBox::save);
    connect(m_vet, &QLineEdit::editingFinished, this, &SheetSettingsBox::save);
}

void SheetSettingsBox::load()
{
    try {
        const sheetsettings::Settings s = sheetsettings::load(m_db);
        m_clinic->setText(s.clinic);
        m_vet->setText(s.vet);
    } catch (const std::exception &e) {
        qCWarning(lcSheetSettings) << "not read:" << e.what();
    }
}

void SheetSettingsBox::save()
{
    try {
        sheetsettings::Settings s = sheetsettings::load(m_db);
        if (s.clinic == m_clinic->text().trimmed() && s.vet == m_vet->text().trimmed())
            return;
        s.clinic = m_clinic->text();
        s.vet = m_vet->text();
        sheetsettings::save(m_db, s);
    } catch (const std::exception &e) {
        qCWarning(lcSheetSettings) << "not stored:" << e.what();
    }
}

void SheetSettingsBox::showEvent(QShowEvent *event)
{
    load();
    QGroupBox::showEvent(event);
}
