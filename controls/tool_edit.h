#pragma once
// TFilenameEdit: the field that holds one file name, with a browse button that opens the open
// or save dialog. Names with blanks are shown in double quotes; FileName reads them back bare.
#include <QString>
#include <functional>
#include <optional>

#include "base/exception.h"
#include "controls/combo_edit.h"
#include "controls/file_name_rules.h"

class EComboEditError : public Exception {
  public:
    using Exception::Exception;
};

enum TFileDialogKind { dkOpen, dkSave };

// Everything the field's dialog object holds; switching the kind keeps all of it.
struct TFileDialogSettings {
    TFileDialogKind kind = dkOpen;
    QString title = QStringLiteral("Browse");
    QString filter = QStringLiteral("All files (*.*)|*.*");
    int filterIndex = 1;  // 1-based, into the filter's pairs
    QString defaultExt;   // empty: nothing is added to a typed name
    QString initialDir;
    QString fileName;  // the proposed name
    bool hideReadOnly = true;
};

// Shows the dialog modally and answers the chosen name, or nothing when the user cancelled or the
// dialog failed. It may update settings.filterIndex.
using TFileDialogRunner =
    std::function<std::optional<QString>(QWidget* parent, TFileDialogSettings& settings)>;

// The default runner: a non-native QFileDialog.
std::optional<QString> RunQtFileDialog(QWidget* parent, TFileDialogSettings& settings);

class TFilenameEdit : public TCustomComboEdit {
    Q_OBJECT
  public:
    explicit TFilenameEdit(QWidget* parent = nullptr);

    // TakeFileToken of the text.
    QString FileName() const;
    // Throws EComboEditError("Ungültiger Dateiname - <value>") when the value is not empty and its
    // first token is not acceptable; the text stays as it was then. Otherwise the text becomes
    // QuoteIfBlank(value).
    void SetFileName(const QString& value);
    // SetFileName for a name that must reach the disk as it stands: also refused, with the same
    // error, when FileName would read it back as another name (a tab or other control
    // character, a double quote inside it).
    void SetExactFileName(const QString& value);

    TFileDialogKind DialogKind() const { return dialog_.kind; }
    void SetDialogKind(TFileDialogKind kind) { dialog_.kind = kind; }
    QString Filter() const { return dialog_.filter; }
    void SetFilter(const QString& filter) { dialog_.filter = filter; }
    int FilterIndex() const { return dialog_.filterIndex; }
    void SetFilterIndex(int index) { dialog_.filterIndex = index; }
    QString DialogTitle() const { return dialog_.title; }
    void SetDialogTitle(const QString& title) { dialog_.title = title; }
    QString DefaultExt() const { return dialog_.defaultExt; }
    void SetDefaultExt(const QString& ext) { dialog_.defaultExt = ext; }
    QString InitialDir() const { return dialog_.initialDir; }
    void SetInitialDir(const QString& dir) { dialog_.initialDir = dir; }
    // The name the dialog proposes when it opens.
    QString DialogFileName() const { return dialog_.fileName; }
    const TFileDialogSettings& DialogSettings() const { return dialog_; }

    // Files dropped from the desktop are never taken.
    bool AcceptFiles() const { return false; }

    // Replaces how the dialog is shown (tests answer it without a real modal dialog).
    void SetDialogRunner(TFileDialogRunner runner);

    // What the button and ClickKey do: prepare the dialog from the text, show it, take the
    // chosen name.
    void Browse();

  signals:
    // The user chose a name in the dialog; the text already shows it. A typed or set name
    // does not count: only the dialog says that the user picked a file.
    void FileChosen(const QString& name);

  protected:
    void ButtonClick() override { Browse(); }

  private:
    void PrepareDialog();

    TFileDialogSettings dialog_;
    TFileDialogRunner runner_;
};
