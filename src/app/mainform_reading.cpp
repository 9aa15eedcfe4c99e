// Reading comforts of the views: the zoom level of every view, the product page saved as PDF,
// the shown page's text copied, and the set-up that adds them to the window.
#include "app/mainform.h"

#include "app/messageboxes.h"
#include "app/pdfdialog.h"
#include "pages/pdfname.h"
#include "pages/stylezoom.h"
#include "pages/ui/htmlrenderer.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QTreeWidget>
#include <QWheelEvent>

namespace {

constexpr int kStatusMs = 6000;

QString showPdfDialog(QWidget *parent, const QString &suggested)
{
    return QFileDialog::getSaveFileName(parent, QStringLiteral("Сохранить в PDF"), suggested,
                                        QStringLiteral("Документы PDF (*.pdf)"));
}

PdfFileDialogFunction &pdfDialog()
{
    static PdfFileDialogFunction function = showPdfDialog;
    return function;
}

QSettings userSettings()
{
    return QSettings(QStringLiteral("Ramux"), QStringLiteral("Ramux"));
}

} // namespace

void setPdfFileDialogFunction(PdfFileDialogFunction function)
{
    pdfDialog() = function ? std::move(function) : PdfFileDialogFunction(showPdfDialog);
}

QString askPdfFileName(QWidget *parent, const QString &suggested)
{
    return pdfDialog()(parent, suggested);
}

void TKalmedaRamuxMainForm::setUpReading()
{
    buildHistoryStrips();
    setUpKeys();
    installAnswersPanel();
    restoreLayout();
}

void TKalmedaRamuxMainForm::SetZoom(int level)
{
    // Kept with the layout when the window closes; a view off screen lays out when shown.
    m_zoom = stylezoom::clamped(level);
    for (TPBearHTMLRenderer *view : {m_productView, m_groupView, m_vendorView, m_appendixView, m_aboutView}) {
        if (view)
            view->SetZoom(m_zoom);
    }
}

QString TKalmedaRamuxMainForm::shownPageTitle() const
{
    const auto it = m_viewEntry.constFind(m_productView);
    if (it != m_viewEntry.constEnd()) {
        for (const HistoryEntry &entry : History.entries()) {
            if (entry.serial != it.value())
                continue;
            std::optional<QString> name;
            if (entry.kind == HistoryKind::Product) {
                if (const ItemRow *row = Tables.items.locate(entry.id))
                    name = row->name;
            } else if (entry.kind == HistoryKind::Dealer) {
                if (const NamedRow *row = Tables.dealers.locate(entry.id))
                    name = row->name;
            } else if (entry.kind == HistoryKind::Distributor) {
                if (const NamedRow *row = Tables.distributors.locate(entry.id))
                    name = row->name;
            } else if (entry.kind == HistoryKind::Search) {
                name = entry.query;
            }
            if (name && !name->trimmed().isEmpty())
                return *name;
        }
    }
    // A page shown another way: the selected product, as the list names it.
    if (const QTreeWidgetItem *item = TreeView1->currentItem())
        return item->text(0);
    return QString();
}

void TKalmedaRamuxMainForm::SavePdfClick()
{
    if (!m_productView || m_productView->Html().isNull())
        return;
    QSettings settings = userSettings();
    QString folder = settings.value(QStringLiteral("pdf/folder")).toString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QString path = askPdfFileName(this, QDir(folder).filePath(pdfFileName(shownPageTitle())));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        path += QStringLiteral(".pdf");
    QString error;
    if (m_productView->SavePdf(path, &error) == 0) {
        showErrorBox(QStringLiteral("Не удается сохранить страницу в %1: %2").arg(QDir::toNativeSeparators(path), error));
        return;
    }
    settings.setValue(QStringLiteral("pdf/folder"), QFileInfo(path).absolutePath());
    showPassingStatus(QStringLiteral("Страница сохранена: %1").arg(QDir::toNativeSeparators(path)));
}

void TKalmedaRamuxMainForm::showPassingStatus(const QString &text)
{
    StatusBar->show();
    StatusBar->showMessage(text, kStatusMs);
    // The bar goes back to what the update worker wants once the message has gone.
    QTimer::singleShot(kStatusMs, this, [this] {
        if (StatusBar->currentMessage().isEmpty())
            StatusBar->setVisible(m_statusWanted);
    });
}

void TKalmedaRamuxMainForm::CopyPageText()
{
    QWidget *page = PageControl1->currentWidget();
    for (TPBearHTMLRenderer *view : {m_productView, m_groupView, m_vendorView, m_appendixView, m_aboutView}) {
        if (view && page->isAncestorOf(view->Viewer())) {
            // What the reader selected, else the whole page.
            const QTextCursor cursor = view->Viewer()->textCursor();
            QGuiApplication::clipboard()->setText(cursor.hasSelection() ? cursor.selection().toPlainText()
                                                                        : view->Viewer()->toPlainText());
            return;
        }
    }
}

bool TKalmedaRamuxMainForm::readingEvent(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::KeyPress && type != QEvent::Wheel &&
        type != QEvent::ToolTip)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget->window() != this)
        return false;
    if (type == QEvent::ToolTip)
        return listToolTipEvent(widget, static_cast<QHelpEvent *>(event));
    if (type == QEvent::MouseButtonPress) {
        const Qt::MouseButton button = static_cast<QMouseEvent *>(event)->button();
        if (button != Qt::BackButton && button != Qt::ForwardButton)
            return false;
        button == Qt::BackButton ? GoBack() : GoForward();
        return true;
    }
    // The rest is for the views only (the widget or its viewport).
    bool inView = false;
    for (TPBearHTMLRenderer *view : {m_productView, m_groupView, m_vendorView, m_appendixView, m_aboutView}) {
        if (view && (widget == view->Viewer() || widget == view->Viewer()->viewport()))
            inView = true;
    }
    if (!inView)
        return false;
    if (type == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() != Qt::Key_Backspace || key->modifiers() != Qt::NoModifier)
            return false;
        GoBack();
        return true;
    }
    const auto *wheel = static_cast<QWheelEvent *>(event);
    if (!(wheel->modifiers() & Qt::ControlModifier))
        return false;
    // One step per notch; a touchpad's small deltas add up to one.
    m_wheelRemainder += wheel->angleDelta().y();
    const int steps = m_wheelRemainder / QWheelEvent::DefaultDeltasPerStep;
    m_wheelRemainder -= steps * QWheelEvent::DefaultDeltasPerStep;
    if (steps != 0)
        SetZoom(stylezoom::stepped(m_zoom, steps));
    return true;
}
