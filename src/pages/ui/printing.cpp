#include "pages/ui/printing.h"

#include "pages/ui/htmlrenderer.h"

#include <QPrintDialog>
#include <QPrinter>

namespace {
bool showPrintDialog(QPrinter &printer, int pageCount, QWidget *parent)
{
    QPrintDialog dialog(&printer, parent);
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintPageRange);
    dialog.setMinMax(1, pageCount);
    return dialog.exec() == QDialog::Accepted;
}

PrintDialogFunction &dialogFunction()
{
    static PrintDialogFunction function = showPrintDialog;
    return function;
}
} // namespace

void setPrintDialogFunction(PrintDialogFunction function)
{
    dialogFunction() = function ? std::move(function) : PrintDialogFunction(showPrintDialog);
}

void printViewWithDialog(TPBearHTMLRenderer &view, QWidget *parent)
{
    QPrinter &printer = view.Printer();
    const int pageCount = view.PageCount();
    printer.setPrintRange(QPrinter::AllPages);
    printer.setFromTo(1, pageCount);
    if (!dialogFunction()(printer, pageCount, parent))
        return;
    if (printer.printRange() == QPrinter::PageRange)
        view.PrintPages(printer.fromPage(), printer.toPage());
    else
        view.PrintAll();
}
