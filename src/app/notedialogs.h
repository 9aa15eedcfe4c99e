// The small windows of the user's notes behind replaceable functions, so tests can play the user.
#pragma once

#include <QString>
#include <functional>
#include <optional>

class QWidget;

// The note editor: the product's name and its current note → the edited text, or nothing when
// the user cancels. The real editor refuses (with a message) text over the note limit.
using NoteEditorFunction = std::function<std::optional<QString>(const QString &productName, const QString &note, QWidget *parent)>;
void setNoteEditorFunction(NoteEditorFunction function); // empty: the real editor
std::optional<QString> runNoteEditor(const QString &productName, const QString &note, QWidget *parent);

// The file of an export (save) or import (open); empty when the user cancels.
using NotesFileFunction = std::function<QString(bool save, QWidget *parent)>;
void setNotesFileFunction(NotesFileFunction function); // empty: the real file dialogs
QString askNotesFile(bool save, QWidget *parent);
