#include "app/searchcombobox.h"

#include "app/emptylistview.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>

QValidator::State TUpperCaseValidator::validate(QString &input, int &) const
{
    for (QChar &c : input)
        c = c.toUpper();
    return Acceptable;
}

TSearchComboBox::TSearchComboBox(QWidget *parent) : QComboBox(parent)
{
    setEditable(true);
    setCompleter(nullptr);
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(8);
    setView(new TEmptyNoticeListView(this));
    lineEdit()->setValidator(new TUpperCaseValidator(this));
    lineEdit()->installEventFilter(this);
    view()->installEventFilter(this);
}

void TSearchComboBox::showPopup()
{
    if (count() > 0) {
        QComboBox::showPopup();
        return;
    }
    // QComboBox refuses to open an empty list; open its own drop-down frame by hand, one row
    // high, below the box, so it closes and takes keys exactly like the filled one.
    QWidget *dropDown = view()->window();
    if (dropDown == window())
        return;
    const auto *list = static_cast<TEmptyNoticeListView *>(view());
    int frame = dropDown->contentsMargins().top() + dropDown->contentsMargins().bottom();
    if (dropDown->layout())
        frame += dropDown->layout()->contentsMargins().top() + dropDown->layout()->contentsMargins().bottom();
    dropDown->setGeometry(
        QRect(mapToGlobal(rect().bottomLeft() + QPoint(0, 1)), QSize(width(), list->noticeHeight() + frame)));
    dropDown->show();
    dropDown->raise();
    view()->setFocus();
}

void TSearchComboBox::hidePopup()
{
    QComboBox::hidePopup();
    emit closedUp();
}

void TSearchComboBox::keyPressEvent(QKeyEvent *event)
{
    // The box has the focus and hands keys to its edit field directly, past any filter there.
    if (!event->text().isEmpty())
        emit keyTyped();
    QComboBox::keyPressEvent(event);
}

bool TSearchComboBox::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QComboBox::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    if (watched == lineEdit()) {
        if (!key->text().isEmpty())
            emit keyTyped();
        return QComboBox::eventFilter(watched, event);
    }
    if (watched == view()) {
        // The open drop-down has the keyboard; what edits the text belongs to the edit field,
        // so the user can go on typing. Arrows, Return and Escape stay with the drop-down.
        const bool editing = (!key->text().isEmpty() && key->text().at(0).isPrint()) ||
                             key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete ||
                             key->key() == Qt::Key_Left || key->key() == Qt::Key_Right ||
                             key->key() == Qt::Key_Home || key->key() == Qt::Key_End;
        if (editing) {
            hidePopup();
            QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text(), key->isAutoRepeat(),
                           ushort(key->count()));
            QCoreApplication::sendEvent(lineEdit(), &copy);
            return true;
        }
    }
    return QComboBox::eventFilter(watched, event);
}
