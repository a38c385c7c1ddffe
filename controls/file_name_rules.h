#pragma once
// Text rules of the file-name field: how a shown text turns into a file name and back.
// Pure functions; only TakeFileToken looks at the file system (does the text name a file?).
#include <QString>
#include <QStringList>

// The text unchanged when it names an existing file (not a folder); otherwise the first
// argument of the text read as a command line (blanks skipped, quoted stretches keep their
// blanks, the quotes dropped).
QString TakeFileToken(const QString& text);

// The name in double quotes when it holds a blank and does not start with a quote.
QString QuoteIfBlank(const QString& name);

// Whether the field, given the name, would hand the same name back: TakeFileToken of
// QuoteIfBlank of it is the name itself.
bool ReadsBackUnchanged(const QString& name);

// Not empty: a Linux file system takes every other character in a name ("/" parts folders),
// the ones Windows forbids too.
bool IsAcceptableFileName(const QString& name);

// Why the field would not hand the name back unchanged (ReadsBackUnchanged is false): the
// character or rule that changes it, in words; empty when it reads back unchanged.
QString WhyNotReadBack(const QString& name);

// Folder part (up to and including the last "/") and name part (after it) of a path.
QString ExtractFilePath(const QString& path);
QString ExtractFileName(const QString& path);

// "desc|pattern|desc|pattern" turned into QFileDialog name filters "desc (pattern ...)";
// ";"-separated patterns become blank-separated, "*.*" matches every file.
QStringList FilterToNameFilters(const QString& filter);
