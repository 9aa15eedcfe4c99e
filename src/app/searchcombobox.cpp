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

bool TSearchComboBox::returnSearches() const
{
    return findText(lineEdit()->text(), Qt::MatchFixedString | Qt::MatchCaseSensitive) < 0;
}

namespace {
bool isReturn(const QKeyEvent *key)
{
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}
} // namespace

bool TSearchComboBox::returnPressed(QKeyEvent *event)
{
    if (!isReturn(event))
        return false;
    if (view()->isVisible() && view()->currentIndex().isValid()) {
        // A highlighted item of the open drop-down is chosen, as the drop-down itself does.
        QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->text());
        QCoreApplication::sendEvent(view(), &copy);
        return true;
    }
    if (!returnSearches())
        return false;
    if (view()->isVisible())
        hidePopup();
    emit searchRequested();
    return true;
}

void TSearchComboBox::keyPressEvent(QKeyEvent *event)
{
    if (returnPressed(event)) {
        event->accept();
        return;
    }
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
        if (returnPressed(key))
            return true;
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
        // Return on the open drop-down with nothing highlighted searches; a highlighted item
        // is chosen as before.
        if (isReturn(key) && !view()->currentIndex().isValid()) {
            hidePopup();
            emit searchRequested();
            return true;
        }
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
