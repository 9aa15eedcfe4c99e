#include "app/notedialogs.h"

#include "db/userdata.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

class NoteEditor final : public QDialog
{
public:
    NoteEditor(const QString &productName, const QString &note, QWidget *parent) : QDialog(parent)
    {
        setWindowTitle(QStringLiteral("Заметка"));
        setObjectName(QStringLiteral("NoteEditor"));
        auto *layout = new QVBoxLayout(this);
        auto *title = new QLabel(QStringLiteral("Моя заметка к препарату «%1»:").arg(productName), this);
        title->setTextFormat(Qt::PlainText);
        title->setWordWrap(true);
        layout->addWidget(title);
        m_text = new QPlainTextEdit(this);
        m_text->setPlainText(note);
        m_text->setTabChangesFocus(true);
        layout->addWidget(m_text, 1);
        m_counter = new QLabel(this);
        layout->addWidget(m_counter);
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Сохранить"));
        buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
        layout->addWidget(buttons);
        connect(buttons, &QDialogButtonBox::accepted, this, &NoteEditor::tryAccept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        connect(m_text, &QPlainTextEdit::textChanged, this, &NoteEditor::count);
        count();
        resize(460, 300);
    }

    QString text() const { return m_text->toPlainText(); }

private:
    void count()
    {
        m_counter->setText(QStringLiteral("Знаков: %1 из %2. Пустая заметка удаляется.")
                               .arg(m_text->toPlainText().size())
                               .arg(userdata::kMaxNoteLength));
    }
    void tryAccept()
    {
        const qsizetype length = m_text->toPlainText().size();
        if (length > userdata::kMaxNoteLength) {
            QMessageBox::warning(this, QStringLiteral("Ramux"), userdata::noteTooLongMessage(length));
            return; // the text stays in the editor to be shortened
        }
        accept();
    }

    QPlainTextEdit *m_text = nullptr;
    QLabel *m_counter = nullptr;
};

std::optional<QString> realEditor(const QString &productName, const QString &note, QWidget *parent)
{
    NoteEditor editor(productName, note, parent);
    if (editor.exec() != QDialog::Accepted)
        return std::nullopt;
    return editor.text();
}

QString realFileDialog(bool save, QWidget *parent)
{
    const QString filter = QStringLiteral("Заметки Ramux (*.json);;Все файлы (*)");
    if (save)
        return QFileDialog::getSaveFileName(parent, QStringLiteral("Экспорт заметок"),
                                            QDir::home().filePath(QStringLiteral("ramux-notes.json")), filter);
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Импорт заметок"), QDir::homePath(), filter);
}

NoteEditorFunction &editorFunction()
{
    static NoteEditorFunction function = realEditor;
    return function;
}

NotesFileFunction &fileFunction()
{
    static NotesFileFunction function = realFileDialog;
    return function;
}

} // namespace

void setNoteEditorFunction(NoteEditorFunction function)
{
    editorFunction() = function ? std::move(function) : NoteEditorFunction(realEditor);
}

std::optional<QString> runNoteEditor(const QString &productName, const QString &note, QWidget *parent)
{
    return editorFunction()(productName, note, parent);
}

void setNotesFileFunction(NotesFileFunction function)
{
    fileFunction() = function ? std::move(function) : NotesFileFunction(realFileDialog);
}

QString askNotesFile(bool save, QWidget *parent)
{
    return fileFunction()(save, parent);
}
