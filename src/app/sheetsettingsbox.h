// The settings page's "Лист назначения" box: the clinic and the vet printed at the head of a
// treatment sheet. Read when shown, stored when an edit is finished.
#pragma once

#include <QGroupBox>

class Database;
class QLineEdit;

class SheetSettingsBox final : public QGroupBox
{
    Q_OBJECT

public:
    SheetSettingsBox(Database &db, QWidget *parent);

    QLineEdit *clinicEdit() const { return m_clinic; }
    QLineEdit *vetEdit() const { return m_vet; }
    void load();
    void save();

protected:
    void showEvent(QShowEvent *event) override;

private:
    Database &m_db;
    QLineEdit *m_clinic = nullptr;
    QLineEdit *m_vet = nullptr;
};
