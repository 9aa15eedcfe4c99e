// The file dialog of "Сохранить в PDF…", replaceable so tests can play the user.
#pragma once

#include <QString>
#include <functional>

class QWidget;

// Asks where to save a PDF file, proposing `suggested` (a full path); an empty answer cancels.
using PdfFileDialogFunction = std::function<QString(QWidget *parent, const QString &suggested)>;
// An empty function puts the real dialog back.
void setPdfFileDialogFunction(PdfFileDialogFunction function);
QString askPdfFileName(QWidget *parent, const QString &suggested);
