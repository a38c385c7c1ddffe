#include "controls/tool_edit.h"

#include <QFileDialog>
#include <QFileInfo>
#include <algorithm>

#include "controls/edit_button.h"
#include "controls/fedit_glyph.h"

std::optional<QString> RunQtFileDialog(QWidget* parent, TFileDialogSettings& settings) {
    QFileDialog dialog(parent, settings.title);
    // The same dialog on every desktop, also where no platform dialog exists.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(settings.kind == dkSave ? QFileDialog::AcceptSave
                                                 : QFileDialog::AcceptOpen);
    // Neither kind insists on an existing file or asks before replacing one.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    const QStringList filters = FilterToNameFilters(settings.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const int index = std::clamp(settings.filterIndex, 1, int(filters.size()));
        dialog.selectNameFilter(filters.at(index - 1));
    }
    if (!settings.initialDir.isEmpty()) dialog.setDirectory(settings.initialDir);
    if (!settings.defaultExt.isEmpty()) dialog.setDefaultSuffix(settings.defaultExt);
    if (!settings.fileName.isEmpty()) dialog.selectFile(settings.fileName);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return std::nullopt;
    const qsizetype filterAt = filters.indexOf(dialog.selectedNameFilter());
    if (filterAt >= 0) settings.filterIndex = int(filterAt) + 1;
    return chosen.first();
}

TFilenameEdit::TFilenameEdit(QWidget* parent) : TCustomComboEdit(parent), runner_(RunQtFileDialog) {
    SetGlyph(FileEditGlyph(), 1);
    // The button shows only a picture: a screen reader needs words for it.
    Button()->setAccessibleName(QStringLiteral("Browse"));
    Button()->setAccessibleDescription(QStringLiteral("Chooses the file in a dialog"));
}

QString TFilenameEdit::FileName() const {
    return TakeFileToken(text());
}

namespace {

[[noreturn]] void RefuseName(const QString& value, const QString& why) {
    throw EComboEditError(
        QStringLiteral("Ungültiger Dateiname - %1 (%2)").arg(value, why).toStdString());
}

}  // namespace

void TFilenameEdit::SetFileName(const QString& value) {
    if (!value.isEmpty() && !IsAcceptableFileName(TakeFileToken(value)))
        RefuseName(value, QStringLiteral("it holds no name"));
    setText(QuoteIfBlank(value));
}

void TFilenameEdit::SetExactFileName(const QString& value) {
    if (!value.isEmpty() && !ReadsBackUnchanged(value)) RefuseName(value, WhyNotReadBack(value));
    SetFileName(value);
}

void TFilenameEdit::SetDialogRunner(TFileDialogRunner runner) {
    runner_ = runner ? std::move(runner) : TFileDialogRunner(RunQtFileDialog);
}

void TFilenameEdit::PrepareDialog() {
    QString candidate = TakeFileToken(text());
    // An unusable text keeps what the dialog proposed last time.
    if (!IsAcceptableFileName(candidate)) return;
    const QString folder = ExtractFilePath(candidate);
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) dialog_.initialDir = folder;
    const QString name = ExtractFileName(candidate);
    if (name.isEmpty() || !IsAcceptableFileName(name)) candidate.clear();
    dialog_.fileName = candidate;
}

void TFilenameEdit::Browse() {
    if (ReadOnly()) return;
    PrepareDialog();
    const std::optional<QString> chosen = runner_(this, dialog_);
    if (isVisible() && isEnabled() && focusPolicy() != Qt::NoFocus) setFocus(Qt::OtherFocusReason);
    if (!chosen) return;
    // The dialog's choice is taken as it is, without the test of a FileName write.
    setText(QuoteIfBlank(*chosen));
    dialog_.fileName = *chosen;
    dialog_.initialDir = ExtractFilePath(*chosen);
    emit FileChosen(*chosen);
}
